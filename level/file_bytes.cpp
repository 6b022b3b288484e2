#include "level/file_bytes.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

FileBytes::~FileBytes() {
    Release();
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : mapping_(std::exchange(other.mapping_, nullptr)),
      mappedSize_(std::exchange(other.mappedSize_, 0)), copy_(std::move(other.copy_)),
      bytes_(std::exchange(other.bytes_, {})) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Release();
        mapping_ = std::exchange(other.mapping_, nullptr);
        mappedSize_ = std::exchange(other.mappedSize_, 0);
        copy_ = std::move(other.copy_);
        bytes_ = std::exchange(other.bytes_, {});
    }
    return *this;
}

void FileBytes::Release() noexcept {
    if (mapping_ != nullptr) {
        munmap(mapping_, mappedSize_);
    }
    mapping_ = nullptr;
    mappedSize_ = 0;
    copy_.reset();
    bytes_ = {};
}

int FileBytes::Map(int descriptor, size_t size) {
    Release();
    // mmap refuses an empty length; an empty file has nothing to map.
    if (size == 0) {
        return 0;
    }
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapping == MAP_FAILED) {
        return errno;
    }
    mapping_ = mapping;
    mappedSize_ = size;
    bytes_ = {static_cast<const uint8_t*>(mapping), size};
    return 0;
}

void FileBytes::Copy(std::span<const uint8_t> bytes) {
    Release();
    if (bytes.empty()) {
        return;
    }
    // Every byte is overwritten at once, so the allocation is not zeroed first.
    copy_ = std::make_unique_for_overwrite<uint8_t[]>(bytes.size());
    std::memcpy(copy_.get(), bytes.data(), bytes.size());
    bytes_ = {copy_.get(), bytes.size()};
}

void FileBytes::Forget(std::span<const uint8_t> part) {
    if (mapping_ == nullptr || part.empty()) {
        return;
    }
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(part.data());
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t end = (start + part.size()) / page * page;
    if (first < end) {
        // Advice only: a failure leaves the pages resident, which is harmless.
        madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
    }
}
