// A byte ring of fixed capacity: the driver's receive and transmit queues.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace winapi::comm {

class ByteRing {
public:
    explicit ByteRing(size_t cap = 4096) : buf_(cap ? cap : 1) {}
    size_t size() const { return size_; }
    size_t capacity() const { return buf_.size(); }
    size_t space() const { return buf_.size() - size_; }
    bool empty() const { return size_ == 0; }
    void clear() { head_ = size_ = 0; }

    // Keeps the queued bytes; the capacity never drops below what is queued.
    void resize(size_t cap) {
        cap = std::max({cap, size_, size_t(1)});
        std::vector<uint8_t> nb(cap);
        peek(nb.data(), size_);
        buf_.swap(nb);
        head_ = 0;
    }

    size_t push(const uint8_t *p, size_t n) {
        n = std::min(n, space());
        size_t tail = (head_ + size_) % buf_.size();
        size_t first = std::min(n, buf_.size() - tail);
        std::memcpy(&buf_[tail], p, first);
        std::memcpy(&buf_[0], p + first, n - first);
        size_ += n;
        return n;
    }
    bool pushByte(uint8_t b) {
        if (!space()) return false;
        buf_[(head_ + size_) % buf_.size()] = b;
        size_++;
        return true;
    }
    size_t peek(uint8_t *p, size_t n) const {
        n = std::min(n, size_);
        size_t first = std::min(n, buf_.size() - head_);
        std::memcpy(p, &buf_[head_], first);
        std::memcpy(p + first, &buf_[0], n - first);
        return n;
    }
    size_t pop(uint8_t *p, size_t n) {
        if (n == 1 && size_) { // the single-byte reads of the port layer
            *p = buf_[head_];
            drop(1);
            return 1;
        }
        n = peek(p, n);
        drop(n);
        return n;
    }
    void drop(size_t n) {
        n = std::min(n, size_);
        head_ += n;
        if (head_ >= buf_.size()) head_ -= buf_.size();
        size_ -= n;
        if (size_ == 0) head_ = 0;
    }
    // The longest run of queued bytes that is contiguous in memory.
    const uint8_t *frontRun(size_t &n) const {
        n = std::min(size_, buf_.size() - head_);
        return &buf_[head_];
    }
    // The longest run of free space that is contiguous in memory.
    uint8_t *backRun(size_t &n) {
        size_t tail = (head_ + size_) % buf_.size();
        n = size_ == buf_.size() ? 0 : (tail >= head_ ? buf_.size() - tail : head_ - tail);
        return &buf_[tail];
    }
    void commit(size_t n) { size_ += n; }

private:
    std::vector<uint8_t> buf_;
    size_t head_ = 0;
    size_t size_ = 0;
};

} // namespace winapi::comm
