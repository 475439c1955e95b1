#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ftdi_io.h"

namespace vexa {

// Shows what crosses USB to and from an FTDI board, one line per bulk transfer:
// "mpsse out: 80 09 0b" for a write, "mpsse in: fa aa" for what a read gave. On a real board
// this is the only record of the bytes the engine was sent; compare it with a logic analyser.
class TracingFtdiIo : public FtdiIo {
 public:
  using Sink = std::function<void(const std::string&)>;
  TracingFtdiIo(FtdiIo& inner, Sink sink) : inner_(inner), sink_(std::move(sink)) {}

  bool list(const std::vector<UsbId>& ids, std::vector<FtdiBoard>& boards,
            std::string& cause) override {
    return inner_.list(ids, boards, cause);
  }
  bool open(const FtdiSelector& selector, FtdiBoard& opened, std::string& cause) override {
    return inner_.open(selector, opened, cause);
  }
  // The line goes out before the bytes do, so it comes before anything the write causes.
  bool write(const uint8_t* data, size_t length, std::string& cause) override;
  bool read(uint8_t* data, size_t length, double busSeconds, std::string& cause) override;
  void close() override { inner_.close(); }

  // "prefix" and the bytes as two-digit lower-case hexadecimal, separated by blanks.
  static std::string line(const char* prefix, const uint8_t* data, size_t length);

 private:
  FtdiIo& inner_;
  Sink sink_;
};

}  // namespace vexa
