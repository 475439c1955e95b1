#include "datalog/line_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vexa::datalog {

LineBuffer::LineBuffer(size_t limitBytes) : limit_(limitBytes) {}

size_t LineBuffer::memoryBytes() const {
  return blockBytes_ + blocks_.capacity() * sizeof(Block);
}

void LineBuffer::nextBlock(size_t atLeast) {
  const size_t next = current_ + (blocks_.empty() ? 0 : 1);
  if (next < blocks_.size() && blocks_[next].size >= atLeast) {
    current_ = next;
    return;
  }
  // Each new block adds half of what the buffer holds already: at most half again as much
  // memory as text once the first block is full.
  const size_t grown = std::clamp(blockBytes_ / 2, kFirstBlock, kLargestBlock);
  const size_t size = std::max(grown, atLeast);
  const size_t freed = next < blocks_.size() ? blocks_[next].size : 0;
  if (blockBytes_ - freed + size > limit_) throw std::bad_alloc();
  Block block;
  block.data.reset(new char[size]);
  block.size = size;
  if (next < blocks_.size()) {
    // A spare block too small for the line: put a large enough one in its place.
    blockBytes_ -= blocks_[next].size;
    blocks_[next] = std::move(block);
  } else {
    if (blocks_.size() == blocks_.capacity())  // may throw; nothing has changed yet
      blocks_.reserve(std::max<size_t>(8, blocks_.capacity() * 2));
    blocks_.push_back(std::move(block));
  }
  blockBytes_ += size;
  current_ = next;
}

void LineBuffer::append(std::string_view text) {
  if (blocks_.empty() || blocks_[current_].size - blocks_[current_].used < text.size())
    nextBlock(text.size());
  Block& b = blocks_[current_];
  std::memcpy(b.data.get() + b.used, text.data(), text.size());
  b.used += text.size();
  textBytes_ += text.size();
}

void LineBuffer::clear() {
  for (Block& b : blocks_) b.used = 0;
  current_ = 0;
  textBytes_ = 0;
}

bool LineBuffer::writeTo(std::FILE* file) const {
  for (size_t i = 0; i < blocks_.size() && i <= current_; ++i) {
    const Block& b = blocks_[i];
    if (b.used > 0 && std::fwrite(b.data.get(), 1, b.used, file) != b.used) return false;
  }
  return true;
}

}  // namespace vexa::datalog
