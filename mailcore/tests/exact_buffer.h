#pragma once
// Test input in a heap block of exactly its size: a read past the end trips the address sanitizer, which
// a std::string (small-string buffer, spare capacity, terminating zero) would hide.

#include <cstring>
#include <memory>
#include <string_view>

namespace mailcore::testing {

class ExactBuffer {
  public:
    explicit ExactBuffer(std::string_view text) : data_(new char[text.size()]), size_(text.size()) {
        if (size_ != 0) std::memcpy(data_.get(), text.data(), size_);
    }
    std::string_view view() const { return {data_.get(), size_}; }

  private:
    std::unique_ptr<char[]> data_;
    size_t size_;
};

}  // namespace mailcore::testing
