#include "datalog/log_file_format.h"

#include <charconv>
#include <cstring>

#include "app/number_format.h"

namespace vexa::datalog {

namespace {

void appendInteger(std::string& out, int64_t value) {
  char text[24];
  const auto r = std::to_chars(text, text + sizeof text, value);
  out.append(text, r.ptr);
}

void appendField(std::string& out, std::string_view text, char separator) {
  out += text;
  out += separator;
}

}  // namespace

const LogChannel* ChannelOfRegister(int16_t registerIndex) {
  for (const auto& c : kLogChannels)
    if (c.registerIndex == registerIndex) return &c;
  return nullptr;
}

LogFormat LogFormat::forLocale(const QLocale& locale) {
  LogFormat f;
  const std::string probe = GeneralNumber(1.2, locale);
  if (probe.size() > 1 && probe[1] == ',') {
    f.separator = kTabSeparator;
    f.extension = kTxtExtension;
  }
  // A point or a comma, as the regional form has it; any other mark ("٫" in Arabic and Persian
  // forms) would make files that no reader takes, so those get a point.
  const std::string mark = locale.decimalPoint().toStdString();
  f.decimalPoint = mark == "," ? "," : ".";
  return f;
}

std::string LogFileName(const std::string& name, int64_t fileNumber, const LogFormat& format) {
  std::string out = name;
  out += kFileNumberJoin;
  appendInteger(out, fileNumber);
  out += format.extension;
  return out;
}

void AppendGeneral(std::string& out, float value, const LogFormat& format) {
  // GeneralNumber's form, without its allocations: this runs for every value of every sample.
  if (value == 0) {
    out += '0';
    return;
  }
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                               std::chars_format::general, 7);
  for (const char* p = text; p != r.ptr; ++p) {
    if (*p == 'e')
      out += 'E';
    else if (*p == '.')
      out += format.decimalPoint;
    else
      out += *p;
  }
}

std::string HeaderBlock(const LogHeader& header, const ChannelList& channels,
                        const LogFormat& format) {
  const char d = format.separator;
  std::string out;
  const auto line = [&](std::string_view label, std::string_view value) {
    appendField(out, label, d);
    out += value;
    out += kLineEnd;
  };
  line(kFileNameLabel, header.fileName);
  line(kDateLabel, header.date);
  line(kTimeLabel, header.time);
  std::string seconds;
  AppendGeneral(seconds, header.beginSeconds, format);
  line(kBeginSecondsLabel, seconds);
  seconds.clear();
  AppendGeneral(seconds, header.endSeconds, format);
  line(kEndSecondsLabel, seconds);
  out += kBlankLine;
  out += kLineEnd;
  appendField(out, kSampleNumberTitle, d);
  for (int16_t index : channels) {
    const LogChannel* c = ChannelOfRegister(index);
    if (c == nullptr) continue;
    appendField(out, c->newDataTitle, d);
    appendField(out, c->valueTitle, d);
  }
  out += kLineEnd;
  return out;
}

SampleLineWriter::SampleLineWriter(LogFormat format)
    : format_(std::move(format)), recent_(kEntries) {}

void SampleLineWriter::appendScaled(std::string& line, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Entry& e = recent_[(bits ^ (bits >> 13) ^ (bits >> 23)) & (kEntries - 1)];
  if (e.length == 0 || e.bits != bits) {
    std::string text;
    AppendGeneral(text, value, format_);
    if (text.size() > sizeof e.text) {  // a decimal separator of several characters
      line += text;
      return;
    }
    e.bits = bits;
    e.length = static_cast<uint8_t>(text.size());
    std::memcpy(e.text, text.data(), text.size());
  }
  line.append(e.text, e.length);
}

void SampleLineWriter::append(std::string& line, int64_t sampleNumber, const SampleValues& readings,
                              LogUnits units) {
  const char d = format_.separator;
  appendInteger(line, sampleNumber);
  line += d;
  for (const ChannelReading& r : readings) {
    line += r.newData / kNewDataBit != 0 ? kNewDataSet : kNewDataClear;
    line += d;
    if (units == LogUnits::Lsb)
      appendInteger(line, r.raw);
    else
      appendScaled(line, r.scaled);
    line += d;
  }
  line += kLineEnd;
}

}  // namespace vexa::datalog
