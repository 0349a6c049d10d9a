#pragma once
// Room for large texts (retrieved messages and their conversions). A large buffer is asked to be backed
// by huge pages before anything is written to it: on a virtual machine a fault for every 4 KiB page costs
// more than the copy that fills the page.

#include <cstddef>
#include <string>

namespace mailcore {

// Below this many bytes a buffer is reserved as usual.
inline constexpr std::size_t kLargeBufferBytes = 4 * 1024 * 1024;

// Marks [data, data + bytes) for huge pages where the kernel allows it; a hint, never a failure.
void AdviseHugePages(void* data, std::size_t bytes);

// Makes room for `capacity` characters, keeping the content.
template <typename Char>
void ReserveLarge(std::basic_string<Char>& text, std::size_t capacity) {
    if (capacity <= text.capacity()) return;
    if (capacity * sizeof(Char) < kLargeBufferBytes) {
        text.reserve(capacity);
        return;
    }
    std::basic_string<Char> grown;
    grown.reserve(capacity);
    AdviseHugePages(grown.data(), grown.capacity() * sizeof(Char));
    grown.append(text);
    text.swap(grown);
}

}  // namespace mailcore
