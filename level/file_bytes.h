#pragma once
// FileBytes: the bytes of one level file that a LevelData's arrays view.
// Either a read-only mapping of the file, so that pages nobody reads are
// never loaded, or a private copy of bytes handed over in memory.
//
// Move-only, like any owner of a system resource: the destructor unmaps or
// frees, and moving keeps the bytes where they are, so views taken before a
// move stay valid.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // Maps the first `size` bytes of the open file read-only, releasing what
    // was held before. The descriptor may be closed afterwards. Returns 0, or
    // the errno of the failed mapping (nothing is then held). Reading a mapped
    // page the file no longer has, because another program shortened the
    // file meanwhile, raises SIGBUS; nothing this process can check prevents that.
    int Map(int descriptor, size_t size);

    // Copies the bytes into an allocation of their own, releasing what was
    // held before. Throws std::bad_alloc.
    void Copy(std::span<const uint8_t> bytes);

    std::span<const uint8_t> bytes() const { return bytes_; }

    // Drops the mapped pages that lie wholly inside part, a span of bytes(),
    // from this process's memory once they have been used: they stop counting
    // as resident, and a later read loads them again from the file. Nothing
    // for a copy.
    void Forget(std::span<const uint8_t> part);

private:
    void Release() noexcept;

    void* mapping_ = nullptr; // from mmap, when mapped
    size_t mappedSize_ = 0;
    std::unique_ptr<uint8_t[]> copy_; // when copied
    std::span<const uint8_t> bytes_;  // the mapping or the copy
};
