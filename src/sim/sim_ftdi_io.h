#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ftdi_io.h"
#include "sim/mpsse_interpreter.h"
#include "sim/sim_bus_time.h"

namespace vexa::sim {

// FTDI boards on a simulated USB bus, each channel A an MPSSE engine (MpsseInterpreter) with
// the sensor on its pins. Opening follows the real board's rules (IDs, serial, bus-port,
// channels per chip; answers come only after the bus time the engine spent on them, so a read
// whose deadline is shorter fails as on the chip) and faults can be set: no permission, the kernel
// driver holding the board, a board that stops answering, one pulled out.
class SimFtdiIo : public FtdiIo {
 public:
  struct Board {
    FtdiBoard info;
    MpsseInterpreter engine;    // channel A, with the sensor
    MpsseInterpreter channelB;  // nothing on its pins
    int address = 2;            // device number on the bus
    bool plugged = true;
    bool permission = true;
    bool kernelDriverBound = false;
    bool silent = false;  // takes commands, answers nothing
    explicit Board(FtdiBoard i) : info(std::move(i)), engine(info.chip), channelB(info.chip) {}
  };

  // A board with the defaults of an FT232H breakout at bus-port 1-2.
  static FtdiBoard ft232h(const std::string& serial = "FT5VEXA1", const std::string& ports = "2");

  Board& plug(FtdiBoard info);
  Board* board(size_t index) { return index < boards_.size() ? boards_[index].get() : nullptr; }

  bool list(const std::vector<UsbId>& ids, std::vector<FtdiBoard>& boards,
            std::string& cause) override;
  bool open(const FtdiSelector& selector, FtdiBoard& opened, std::string& cause) override;
  bool write(const uint8_t* data, size_t length, std::string& cause) override;
  bool read(uint8_t* data, size_t length, double busSeconds, std::string& cause) override;
  void close() override;

  // What the host asked of the bus: bulk writes and reads since the last clear.
  long writes() const { return writes_; }
  long reads() const { return reads_; }
  const std::vector<uint8_t>& lastWrite() const { return lastWrite_; }
  // Every byte written, in order, while recording.
  void setRecording(bool on) { recording_ = on; }
  const std::vector<uint8_t>& written() const { return written_; }
  void clearLog() {
    writes_ = reads_ = 0;
    written_.clear();
  }
  Board* opened() { return open_; }
  // Where the bus time goes (ftdiBatchSeconds in bus_time_model.h): each bulk request costs
  // the chip's request time, and a read waits for the engine's clocking beyond that.
  void spendBusTime(SimBusTime time) { busTime_ = time; }
  const SimBusTime& busTime() const { return busTime_; }
  MpsseInterpreter* openEngine() { return engine_; }

 private:
  // Whether a board is open and still plugged in; otherwise why not, in `cause`.
  bool reachable(std::string& cause) const;

  std::vector<std::unique_ptr<Board>> boards_;
  Board* open_ = nullptr;
  MpsseInterpreter* engine_ = nullptr;
  FtdiSelector selector_;
  SimBusTime busTime_;
  double busAtRead_ = 0;  // the engine's bus time when the last read began waiting
  long writes_ = 0;
  long reads_ = 0;
  bool recording_ = false;
  std::vector<uint8_t> lastWrite_;
  std::vector<uint8_t> written_;
};

}  // namespace vexa::sim
