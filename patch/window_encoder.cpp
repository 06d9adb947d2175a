#include "patch/window_encoder.h"

#include "patch/code_table.h"
#include "patch/format.h"

namespace patch {

void WindowEncoder::begin(std::uint64_t segmentLength) {
    data_.clear();
    inst_.clear();
    addr_.clear();
    cache_.clear();
    here_ = segmentLength;
    pending_ = Pending::kNone;
}

WindowEncoder::Address WindowEncoder::pickAddress(std::uint64_t address) const {
    const std::uint64_t slot = address % kSameSlots;
    if (cache_.same[std::size_t(slot)] == address) return {std::uint8_t(2 + kNearSlots + slot / 256), slot % 256};
    Address best{0, address};
    std::size_t bestLength = varintLength(address);
    const auto consider = [&](std::uint8_t mode, std::uint64_t value) {
        const std::size_t length = varintLength(value);
        if (length < bestLength) {
            best = {mode, value};
            bestLength = length;
        }
    };
    consider(1, here_ - address);
    for (int i = 0; i < kNearSlots; ++i) {
        if (address >= cache_.near[std::size_t(i)]) consider(std::uint8_t(2 + i), address - cache_.near[std::size_t(i)]);
    }
    return best;
}

std::size_t WindowEncoder::copyCost(std::uint64_t size, std::uint64_t address) const {
    const Address a = pickAddress(address);
    const std::size_t addressBytes = a.mode >= 2 + kNearSlots ? 1 : varintLength(a.value);
    return 1 + addressBytes + (size >= 4 && size <= 18 ? 0 : varintLength(size));
}

void WindowEncoder::putSize(std::uint64_t size) {
    std::uint8_t digits[kMaxVarintBytes];
    inst_.insert(inst_.end(), digits, digits + putVarint(digits, size));
}

void WindowEncoder::putAddress(const Address& address) {
    if (address.mode >= 2 + kNearSlots) {
        addr_.push_back(std::uint8_t(address.value));
        return;
    }
    std::uint8_t digits[kMaxVarintBytes];
    addr_.insert(addr_.end(), digits, digits + putVarint(digits, address.value));
}

void WindowEncoder::flushPending() {
    if (pending_ == Pending::kAdd) {
        inst_.push_back(std::uint8_t(kCodeLookup.add[pendingSize_]));
    } else if (pending_ == Pending::kCopy) {
        inst_.push_back(std::uint8_t(kCodeLookup.copy[pendingMode_][pendingSize_]));
    }
    pending_ = Pending::kNone;
}

void WindowEncoder::add(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return;
    data_.insert(data_.end(), bytes, bytes + size);
    here_ += size;
    if (pending_ == Pending::kCopy && size == 1) {
        inst_.push_back(std::uint8_t(kCodeLookup.copyAdd[pendingMode_]));
        pending_ = Pending::kNone;
        return;
    }
    flushPending();
    if (size <= 4) {
        pending_ = Pending::kAdd;
        pendingSize_ = size;
    } else if (size <= 17) {
        inst_.push_back(std::uint8_t(kCodeLookup.add[size]));
    } else {
        inst_.push_back(std::uint8_t(kCodeLookup.add[0]));
        putSize(size);
    }
}

void WindowEncoder::run(std::uint8_t value, std::size_t size) {
    flushPending();
    data_.push_back(value);
    inst_.push_back(0);
    putSize(size);
    here_ += size;
}

void WindowEncoder::copy(std::size_t size, std::uint64_t address) {
    const Address a = pickAddress(address);
    cache_.update(address);
    putAddress(a);
    here_ += size;
    if (pending_ == Pending::kAdd && size <= 6) {
        const std::int16_t code = kCodeLookup.addCopy[a.mode][pendingSize_][size];
        if (code >= 0) {
            inst_.push_back(std::uint8_t(code));
            pending_ = Pending::kNone;
            return;
        }
    }
    flushPending();
    if (size == 4) {
        pending_ = Pending::kCopy;
        pendingSize_ = size;
        pendingMode_ = a.mode;
    } else if (size >= 4 && size <= 18) {
        inst_.push_back(std::uint8_t(kCodeLookup.copy[a.mode][size]));
    } else {
        inst_.push_back(std::uint8_t(kCodeLookup.copy[a.mode][0]));
        putSize(size);
    }
}

bool WindowEncoder::write(Writer& out, std::uint64_t targetLength, const std::uint32_t* checksum) {
    flushPending();
    std::uint8_t head[5 * kMaxVarintBytes + 5];
    std::size_t n = putVarint(head, targetLength);
    head[n++] = 0;  // Delta_Indicator: no secondary compression
    n += putVarint(head + n, data_.size());
    n += putVarint(head + n, inst_.size());
    n += putVarint(head + n, addr_.size());
    if (checksum != nullptr) {
        for (int shift = 24; shift >= 0; shift -= 8) head[n++] = std::uint8_t(*checksum >> shift);
    }
    std::uint8_t length[kMaxVarintBytes];
    const std::size_t lengthBytes = putVarint(length, n + data_.size() + inst_.size() + addr_.size());
    const auto put = [&](const std::uint8_t* bytes, std::size_t size) { return size == 0 || out.write(bytes, size); };
    return put(length, lengthBytes) && put(head, n) && put(data_.data(), data_.size()) &&
           put(inst_.data(), inst_.size()) && put(addr_.data(), addr_.size());
}

}  // namespace patch
