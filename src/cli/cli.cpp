#include "cli/cli.h"

#include <cctype>
#include <ostream>
#include <sstream>

#include "app/hex_text.h"
#include "app/number_format.h"
#include "app/version.h"
#include "cli/cli_accelcal.h"
#include "cli/cli_adapters.h"
#include "cli/cli_analysis.h"
#include "cli/cli_log.h"
#include "cli/cli_magcal.h"
#include "cli/cli_recording.h"
#include "cli/cli_results.h"
#include "cli/cli_session.h"
#include "cli/console_line.h"
#include "registers/gyro_scale.h"
#include "registers/register_access.h"
#include "registers/register_dump.h"
#include "registers/register_pipeline.h"
#include "session/platform_set.h"
#include "sim/accel_errors.h"
#include "sim/recording_services.h"
#include "sim/unplug_fault.h"

namespace vexa::cli {

namespace {

// Every command, in the order the usage text gives them.
constexpr const char* kCommands[] = {
    "read",  "write",  "dump",  "log",   "magcal", "accelcal", "adev",         "noise",
    "report", "stats", "units", "runs",  "figures", "calibrations", "queue"};

std::string commandList() {
  std::string list;
  const size_t n = std::size(kCommands);
  for (size_t i = 0; i < n; ++i)
    list += (i == 0 ? "" : i + 1 == n ? " or " : ", ") + std::string(kCommands[i]);
  return list;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string withoutBlanks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != ' ') out += c;
  return out;
}

std::string rightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

struct Command {
  std::vector<int16_t> registers;
  int32_t value = 0;
  bool pipelined = false;  // read --pipelined
  LogCommand log;
  ResultsQuery results;
};

// Checks the command and its operands before any device is touched.
Command CheckCommand(const CliOptions& options, const RegisterTable& table) {
  Command c;
  if (options.command == "read") {
    for (const auto& name : options.operands) {
      if (name == "--pipelined") {
        c.pipelined = true;
        continue;
      }
      c.registers.push_back(ReadableRegister(table, name));
    }
    if (c.registers.empty()) throw Failure(kExitUsage, "read needs at least one register name");
  } else if (options.command == "write") {
    if (options.operands.size() != 2)
      throw Failure(kExitUsage, "write needs a register name and a hexadecimal value");
    const int16_t row = WritableRegister(table, options.operands[0]);
    if (!ParseHexValue(options.operands[1], c.value))
      throw Failure(kExitUsage, "malformed value '" + options.operands[1] +
                                    "': give one to four hexadecimal digits, such as 0x1234");
    c.registers.push_back(row);
  } else if (options.command == "dump") {
    if (!options.operands.empty()) throw Failure(kExitUsage, "dump takes no operands");
  } else if (options.command == "log") {
    std::string error;
    if (!ParseLogCommand(options.operands, table, c.log, error)) throw Failure(kExitUsage, error);
  } else if (options.command == "magcal") {
    MagCalOptions magcal;
    std::string error;
    if (!ParseMagCalOperands(options.operands, magcal, error)) throw Failure(kExitUsage, error);
  } else if (options.command == "accelcal") {
    AccelCalOptions accelcal;
    std::string error;
    if (!ParseAccelCalOperands(options.operands, accelcal, error)) throw Failure(kExitUsage, error);
  } else if (IsResultsCommand(options.command)) {
    std::string error;
    if (!ParseResultsOperands(options.command, options.operands, c.results, error))
      throw Failure(kExitUsage, error);
  } else {
    throw Failure(kExitUsage, "unknown command '" + options.command + "': use " + commandList());
  }
  return c;
}

}  // namespace

bool ParseHexValue(const std::string& text, int32_t& value) {
  return ParseHexWord(text, value);
}

int16_t FindRegisterByName(const RegisterTable& table, const std::string& name) {
  const int16_t exact = FindRegisterByLabel(table, name);
  if (exact >= 0) return exact;
  const std::string wanted = upper(withoutBlanks(name));
  if (wanted.empty()) return -1;
  for (int16_t i = 0; i <= LastRegisterIndex; ++i)
    if (upper(withoutBlanks(table.Label[i])) == wanted) return i;
  return -1;
}

bool ParseArguments(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
  size_t i = 0;
  const auto valueOf = [&](const std::string& option, std::string& value) {
    if (i + 1 >= args.size()) {
      error = option + " needs a value";
      return false;
    }
    value = args[++i];
    return true;
  };
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-sensor-check") {  // before or after the command
      o.noSensorCheck = true;
      continue;
    }
    if (!o.command.empty()) {
      o.operands.push_back(a);
      continue;
    }
    std::string value;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--simulate") {
      o.device.simulate = true;
    } else if (a == "--simulate-still") {
      o.device.simulate = true;
      o.device.simulateStill = true;
    } else if (a == "--simulate-poses") {
      o.device.simulate = true;
      o.device.simulatePoses = true;
    } else if (a == "--simulate-accel-errors") {
      if (!valueOf(a, value)) return false;
      sim::AccelErrors errors;
      if (!sim::ReadAccelErrorsFile(value, errors, error)) return false;
      o.device.simulatedAccelErrors = errors;
      o.device.simulate = true;
    } else if (a == "--simulate-virtual-time") {
      o.device.simulate = true;
      o.device.virtualTime = true;
    } else if (a == "--trace") {
      o.device.trace = true;
    } else if (a == "--db") {
      if (!valueOf(a, o.database)) return false;
    } else if (a == "--simulate-fault") {
      if (!valueOf(a, value) || !SetSimulatedFault(o.device, value, error)) return false;
    } else if (a == "--interface") {
      if (!valueOf(a, value) || !SetInterfaceByName(o.device, value, error)) return false;
    } else if (a == "--port") {
      if (!valueOf(a, value) || !SetPortAddress(o.device, value, error)) return false;
    } else if (a == "--vendor") {
      if (!valueOf(a, value) || !SetCardVendor(o.device, value, error)) return false;
    } else if (IsAdapterOption(a)) {
      if (!valueOf(a, value) || !ParseAdapterOption(a, value, o.device, error)) return false;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option '" + a + "' (see --help)";
      return false;
    } else {
      o.command = a;
    }
  }
  error = SessionOptionsProblem(o.device);
  if (!error.empty()) return false;
  if (!o.help && !o.version && o.command.empty()) {
    error = "no command given: use " + commandList() + " (see --help)";
    return false;
  }
  if ((o.command == "log" || o.command == "magcal" || o.command == "accelcal" ||
       o.command == "noise") &&
      !TakeUnitOperand(o.operands, o.unit, error))
    return false;
  return true;
}

std::string ReadLine(const RegisterTable& table, const Reading& reading) {
  return rightTrimmed(table.Label[reading.row]) + "\t" + HexText(reading.raw) + "\t" +
         GeneralNumber(reading.scaled);
}

std::string UsageText() {
  return R"(Usage: vexa-cli [OPTIONS] COMMAND

Reads and writes the sensor's registers over the parallel port, the USB SPI card, an FTDI
MPSSE board (FT232H, FT2232H, FT4232H, FT2232D) or a Linux spidev node.

Commands:
  read NAME...          Read each named register; one line per register: label, raw value
                        (0x and four hexadecimal digits, masked and sign-extended), and the
                        scaled value, separated by tabs.
  read --pipelined NAME...
                        The same reads and lines, pipelined: each read command travels in the
                        frame that brings back the reply to the one before, so N registers
                        take N + 1 frames (up to 16 frames per USB card transfer).
  write NAME HEXVALUE   Write one register. HEXVALUE is one to four hexadecimal digits, with
                        or without 0x. Both bytes are written, high byte first (ALM_SMPL1: low
                        byte first), followed by a 0.1 ms wait.
  dump                  Read every register and print the register dump: two heading lines,
                        then one line per register row 0..45 (name, address, raw value, scaled
                        value). Reserved rows read "reserved", 0x0000 and 0.0; COMMAND, which
                        cannot be read, shows 0x0000 and 0.0 as well.
)" + LogUsageText() +
         MagCalUsage() + AccelCalUsage() + ResultsUsageText() +
         R"(  adev FILE... [--channel TITLE]... [--rate HZ] [--csv]
                        The overlapping Allan deviation of each channel of a log (or of the
                        named ones: value column title such as "X Gryo", or the caption such as
                        "X Gyro"), at octave cluster times up to a tenth of the record, with
                        68% confidence bounds, then the random walk (deg/sqrt(h) for gyros,
                        m/s/sqrt(h) for accelerometers) and the bias instability (deg/h, mg).
                        The files of one session are joined in order. The sample interval comes
                        from the files' begin and end seconds, or from --rate (the rate of the
                        log's lines). Repeated reads of one sample (new-data flag 0) are left
                        out. --csv prints "channel,tau,adev,low,high" and one line per cluster
                        time. --rate takes 1e-06 to 1e+06 Hz. A record that does not look still,
                        is too short or never changes gets no read-off, with the reason.
  noise FILE... [--channel TITLE]... [--rate HZ] [--json] [--imu-yaml OUT [--overwrite]]
                        The noise model of each channel of a still record: quantisation Q,
                        random walk N, bias instability B, rate random walk K and rate ramp R
                        fitted to the Allan variance, each with its standard deviation, or
                        "below" the bound the record gives when it cannot resolve the term;
                        gyros in arcsec, deg/sqrt(h), deg/h, deg/h/sqrt(h), deg/h^2,
                        accelerometers in m/s, m/s/sqrt(h), mg, m/s/h/sqrt(h), m/s/h^2. Then
                        the white level of the noise density (Welch). --json prints it all in
                        one JSON document; --imu-yaml writes a filter's noise parameters
                        (gyroscope_noise_density, gyroscope_random_walk, ...) in SI units to
                        OUT, which must not exist unless --overwrite is given (--imu-topic
                        names its rostopic, /imu0 if not given).
  report FILE... -o OUT.pdf [--limits FILE] [--unit NAME] [--product NUMBER]
         [--channel TITLE]... [--rate HZ] [--overwrite]
                        A PDF report of the same analysis: the record (files, date, length,
                        rate), the Allan deviation with the fitted model, the noise density
                        and a table of figures per channel; with --limits (JSON such as
                        {"gyro": {"N": 0.5, "B": 60}, "accelerometer": {"density": 0.2}}, in
                        the units above) a pass/fail column.
  stats FILE...         Per channel of a log: count, mean, standard deviation, min and max.
                        adev, noise and report check the record first: a turn, a rocking, a
                        step in the mean, a gap between the files or a constant channel is
                        refused with its reason (exit 1) unless --force, which marks every
                        figure "record not still". Channels are named by their captions.
                        adev, noise, report and stats read a session without a gap or a repeat
                        in N, and a stopped run's NAME_N.csv.partial without its cut last line.

Register names are the labels of the register table (XGYRO_OUT, SMPL_PRD, ...), in any case;
the blank inside "ZGYRO_ OFF" may be left out.

Options:
  --simulate            Use the simulated sensor, behind a simulated parallel port (at any
                        address), a simulated USB SPI card "Ezusb-0", a simulated FT232H board
                        (bus-port 1-2) and a simulated /dev/spidev0.0, instead of hardware.
  --simulate-still      The same, with the sensor lying still and its gyros and
                        accelerometers noisy as their stated figures say (angle random walk
                        0.4 deg/sqrt(h), bias instability 50 deg/h, rate random walk
                        600 deg/h/sqrt(h); velocity random walk 0.1 m/s/sqrt(h), 0.3 mg,
                        3.8 mg/sqrt(h); quantisation of one output count), sampling at
                        52.8 Hz, for noise records.
  --simulate-poses      The simulated sensor is laid still on its faces and edges in turn by an
                        invisible hand (each held 6 to 9 s, turns of 2.5 s between), as for
                        accelcal.
  --simulate-accel-errors FILE
                        The simulated accelerometers' errors from FILE: {"bias": [x, y, z],
                        "scale": [...], "misalignment": [...]} in g, fractions and degrees
                        (y toward x, z toward x, z toward y).
  --simulate-virtual-time
                        The simulation on virtual time, from 10:00:00 on 07/12/2026: waits
                        and sample delays take no real time (a two-hour still record is made
                        in seconds), and the same command gives the same files each time.
  --simulate-fault unplug-after=N
                        With --simulate or --simulate-still: the simulated USB card, FTDI board
                        and spidev node fail after N SPI frames, as an unplugged adapter does
                        on that transport (the parallel port cannot tell and goes on). A log
                        run then ends at the failing sample, keeps the samples read, and exits
                        with status 1.
  --interface usb|parallel|ftdi|spidev
                        The interface to use. Without it, Interface in CommPort.cfg (in the
                        working folder) decides: 1 parallel port, 2 USB SPI card, 3 FTDI
                        board, 4 spidev.
  --ftdi-serial SERIAL  The FTDI board with this serial number (default: the first board with
                        the IDs 0403:6014, 0403:6010 or 0403:6011).
  --ftdi-interface A|B  The FTDI chip's interface (channel) wired to the sensor (default A;
                        B only on an FT2232H or FT4232H: the FT2232D has its MPSSE engine on A).
  --spi-device PATH     The spidev node (default /dev/spidev0.0).
  --spi-speed HZ        SPI clock of the FTDI board or spidev, such as 1M or 500k (default 1M).
  --spi-mode 0..3       SPI mode of the FTDI board or spidev (default 3).
                        Without these options the settings in VexaEval.cfg apply.
  --port HEX            I/O address of the parallel port's data register (such as 378).
                        Without it, Port Address in CommPort.cfg applies.
  --vendor HEX          USB vendor ID of the card, for a card that carries another one
                        (default 5645).
  --no-sensor-check     Let log and magcal go on when PROD_ID does not name a known sensor
                        (27150 or 27100). Before every command but write the program reads
                        PROD_ID: 0xFFFF or 0x0000 means nothing answers (wiring, power), a
                        known product shifted by one bit a wrong SPI mode. read and dump warn
                        on standard error; log and magcal refuse with exit status 1.
  --trace               With --simulate: print on standard error one line per SPI frame that
                        crossed the simulated bus, in order: spi mosi=0xB712 miso=0x0000.
                        With --interface ftdi (real or simulated board) also every bulk write
                        to the board and every read from it, before the frames they carry:
                        mpsse out: 80 01 0b ... and mpsse in: 00 00 12 34.
  --db ADDRESS          The results store: postgresql://USER@HOST:PORT/NAME for a server
                        (the password from ~/.pgpass or PGPASSWORD; HOST may be a socket
                        folder written %2Fpath), or the path of an SQLite file. Without it,
                        results.database in VexaEval.cfg, else
                        $XDG_DATA_HOME/vexa-eval/results.db. Log runs and calibration writes
                        are recorded there; a server that cannot be reached never stops them:
                        the records wait in the SQLite file and are sent on a later run.
  --version             Print the program's version and exit.
  -h, --help            Show this text.

Real hardware on Linux: the parallel port is reached through ppdev (/dev/parportN, found from
the address in /proc/sys/dev/parport/*/base-addr), or through direct port I/O where ppdev is
missing and the process may use it (root). Your user needs access to /dev/parportN (the lp
group) and the lp module must not hold the port ('sudo rmmod lp'). The USB card needs the udev
rules installed.
An FTDI board needs the udev rules too (or the plugdev group), and the ftdi_sio driver is
detached from its interface while the program uses it. A spidev node needs read and write
permission (often the spi group).

Exit status: 0 success; 1 the device could not be reached or a transfer failed, no known sensor
answers (log, magcal), or a log file could not be opened or written; 2 bad usage (unknown option, command or register name,
malformed value); magcal adds 3 and 4 (above); 130 or 143 a log run cancelled by SIGINT
(Ctrl-C) or SIGTERM. Errors are one line on standard error.
)";
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment) {
  CliOptions options;
  std::string error;
  if (!ParseArguments(args, options, error)) {
    err << kProgram << ": " << CutLongFields(error) << '\n';
    return kExitUsage;
  }
  if (options.help) {
    out << UsageText();
    return kExitOk;
  }
  if (options.version) {
    out << kProgram << ' ' << kVersion << '\n';
    return kExitOk;
  }
  if (IsAnalysisCommand(options.command)) {
    // Its error lines name files and fields: each is cut as the others are.
    std::ostringstream errors;
    NoiseAnalysis analysed;
    const int status =
        RunAnalysisCommand(options.command, options.operands, out, errors, &analysed);
    std::istringstream lines(errors.str());
    for (std::string line; std::getline(lines, line);) err << CutLongFields(line) << '\n';
    if (options.unit.empty() || analysed.channels.empty()) return status;
    try {
      CliSession session(options, err, environment);
      session.readSettings();
      CliRecording(session.ctx(), options).keepNoise(analysed, err);
    } catch (const Failure& failure) {
      // The analysis stands; only its record is lost, and the user is told why.
      if (!failure.text.empty()) err << kProgram << ": " << CutLongFields(failure.text) << '\n';
    }
    return status;
  }

  try {
    CliSession session(options, err, environment);
    AppContext& ctx = session.ctx();
    const Command command = CheckCommand(options, ctx.registers);
    if (IsResultsCommand(options.command)) {
      session.readSettings();
      return RunResultsCommand(options.command, command.results,
                               results::DatabaseAddress(ctx, options.database), out, err);
    }
    session.bringUp(options.command);

    Session& device = session.session();
    if (options.command == "log") {
      const CliRecording recording(ctx, options);
      datalog::LogResult result;
      NoiseAnalysis live;
      const int status =
          RunLogCommand(ctx, command.log, out, err, IsTerminal(err), &result, &live.channels);
      recording.keepRun(command.log, result, device.health().ok(), err);
      live.files = result.filesWritten;
      recording.keepNoise(live, err);
      return status;
    }
    if (options.command == "accelcal") {
      AccelCalOptions accelcal;
      std::string unused;
      ParseAccelCalOperands(options.operands, accelcal, unused);
      AccelDevice accel = RegisterAccelDevice(ctx);
      AccelCalOutcome outcome;
      const int status = RunAccelCal(ctx, accel, accelcal, out, err, &outcome);
      const bool failed = !device.health().ok();
      KeepAccelCal(ctx, options, outcome, failed, err);
      if (failed) return kExitDevice;
      return status;
    }
    if (options.command == "magcal") {
      MagCalOptions magcal;
      std::string unused;
      ParseMagCalOperands(options.operands, magcal, unused);
      const CliRecording recording(ctx, options);
      const MagCorrectionsBefore before = recording.correctionsBefore(magcal.apply);
      const int status = RunMagCal(ctx, magcal, out, err, [&] { return device.health(); });
      recording.keepMagCal(magcal, before, device.health().ok(), err);
      return status;
    }
    // Only readings whose transfers all completed are printed: after a failure the context
    // holds what the failed transfer left behind, not what the sensor holds.
    Status done = Done{};
    if (options.command == "read") {
      std::vector<Reading> completed;
      const auto read = device.readMany(command.registers, command.pipelined, &completed);
      for (const Reading& r : completed) out << ReadLine(ctx.registers, r) << '\n';
      if (!read) done = read.error();
    } else if (options.command == "write") {
      done = device.write(command.registers.front(), command.value);
    } else {
      std::vector<RegisterDumpRow> completed;
      const auto rows = device.dump(&completed);
      for (const auto& line : RegisterDumpLines(completed)) out << line << '\n';
      if (!rows) done = rows.error();
    }
    out.flush();
    if (!done) throw FailureOf(done.error());
  } catch (const Failure& failure) {
    if (!failure.text.empty()) err << kProgram << ": " << CutLongFields(failure.text) << '\n';
    return failure.status;
  }
  return kExitOk;
}

}  // namespace vexa::cli
