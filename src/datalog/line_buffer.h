#pragma once

#include <cstddef>
#include <cstdio>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace vexa::datalog {

// The text lines of the file being filled, held until its last sample has been taken. Grows
// with the lines appended, in blocks of half the memory taken so far (4 KiB at least, 1 MiB at
// most), so once the first block is full the memory is at most about 1.5 times the text, and
// no block is ever copied or needs one large piece of memory. Blocks are kept across clear()
// and reused for the next file of the run.
class LineBuffer {
 public:
  static constexpr size_t kFirstBlock = 4 * 1024;
  static constexpr size_t kLargestBlock = 1024 * 1024;

  // `limitBytes`: the most memory the blocks may take; beyond it append() fails as if memory
  // had run out.
  explicit LineBuffer(size_t limitBytes = std::numeric_limits<size_t>::max());

  // Appends whole lines or nothing: throws std::bad_alloc, leaving the buffer as it was, when
  // no memory is left for them.
  void append(std::string_view text);
  // Forgets the text, keeps the blocks.
  void clear();

  size_t textBytes() const { return textBytes_; }
  // Memory the buffer takes: its blocks and its block list.
  size_t memoryBytes() const;

  // Writes the text in order; false when a write failed (errno says why).
  bool writeTo(std::FILE* file) const;

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    size_t used = 0;
  };
  void nextBlock(size_t atLeast);

  std::vector<Block> blocks_;
  size_t current_ = 0;  // the block being filled; blocks after it are spare
  size_t textBytes_ = 0;
  size_t blockBytes_ = 0;
  size_t limit_;
};

}  // namespace vexa::datalog
