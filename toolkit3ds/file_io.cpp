#include "toolkit3ds/file_io.h"

#include "toolkit3ds/errors.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest temporary name, terminator included, that MoveReadFileAside3ds builds.
constexpr size_t kTempNameWorkArea = 512;
// File-name part of a temporary name; mkstemp replaces the X's.
constexpr const char* kTempNamePattern = "tmp3ds_XXXXXX";
constexpr const char* kPathSeparators = "\\/:";
// Longest mode string OpenFile3ds looks at: BoundedLength3ds accepts limit + 1 characters.
constexpr uint32_t kModeLengthLimit = 30;

std::unique_ptr<FileTable3ds> fileTable;

// The current file when it has an open stream, or none.
File3ds* CurrentOpenFile() {
    File3ds* file = GetCurrentFile3ds();
    return file == nullptr || file->stream == nullptr ? nullptr : file;
}

// Each stores the value at the address, least significant byte first.
void StoreUShort(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void StoreULong(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

void StoreFloat(uint8_t* at, float value) {
    StoreULong(at, std::bit_cast<uint32_t>(value));
}

// Notes the system's error of the call on the file that has just failed.
void NoteFailure(const File3ds& file) {
    NoteFileFailure3ds(file.name, errno);
}

// Hands count bytes to the stream, which writes them where it stands.
bool WriteThrough(File3ds& file, const uint8_t* bytes, size_t count) {
    file.output.start += count;
    return std::fwrite(bytes, 1, count, file.stream) == count;
}

// Hands the pending output to the stream. The bytes are gone either way; a
// failure stays recorded in the stream's error flag for the close.
bool FlushOutput(File3ds& file) {
    PendingOutput3ds& output = file.output;
    const size_t count = output.size;
    output.size = 0;
    return count == 0 || WriteThrough(file, output.bytes.get(), count);
}

// Gives held output its full size, in one step: the system maps the pages
// only as they are written. False when the held output is full already,
// memory runs out, or the bytes would pass 31-bit positions, where no length
// can be patched anyway.
bool GrowHeldOutput(PendingOutput3ds& output, size_t count) {
    constexpr uint64_t kPositionLimit = uint64_t{std::numeric_limits<int32_t>::max()} + 1;
    const uint64_t needed = uint64_t{output.size} + count;
    if (needed > kHeldOutputSize3ds || output.start + needed > kPositionLimit) {
        return false;
    }
    try {
        auto bytes = std::make_unique_for_overwrite<uint8_t[]>(kHeldOutputSize3ds);
        if (output.size > 0) {
            std::memcpy(bytes.get(), output.bytes.get(), output.size);
        }
        output.bytes = std::move(bytes);
        output.capacity = kHeldOutputSize3ds;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Gives the pending output its unheld size again, or none when memory is short
// (the primitives then write through).
void ResetOutputCapacity(PendingOutput3ds& output) {
    if (output.capacity == kFileBufferSize3ds) {
        return;
    }
    output.bytes.reset();
    output.capacity = 0;
    try {
        output.bytes = std::make_unique_for_overwrite<uint8_t[]>(kFileBufferSize3ds);
        output.capacity = kFileBufferSize3ds;
    } catch (const std::bad_alloc&) {
    }
}

// Writes count bytes into the file's pending output. A file not open for
// writing has none, so its bytes go straight to its stream.
bool PutBytes(File3ds& file, const uint8_t* bytes, size_t count) {
    PendingOutput3ds& output = file.output;
    if (count == 0) {
        return true;
    }
    if (count > output.capacity - output.size &&
        (output.holds == 0 || !GrowHeldOutput(output, count))) {
        if (!FlushOutput(file)) {
            return false;
        }
        if (count > output.capacity) {
            return WriteThrough(file, bytes, count);
        }
    }
    std::memcpy(output.bytes.get() + output.size, bytes, count);
    output.size += count;
    return true;
}

// Moves a file to an absolute position: false when a flush or the seek fails.
bool Seek(File3ds& file, uint64_t position) {
    if (file.mode != kModeWrite3ds) {
        return std::fseek(file.stream, static_cast<long>(position), SEEK_SET) == 0;
    }
    PendingOutput3ds& output = file.output;
    if (position == output.start + output.size) {
        return true;
    }
    if (!FlushOutput(file) || std::fseek(file.stream, static_cast<long>(position), SEEK_SET) != 0) {
        return false;
    }
    output.start = position;
    return true;
}

// Writes one item of count bytes to the current file; false when it raised.
bool WriteItem(const uint8_t* bytes, size_t count) {
    File3ds* file = CurrentOpenFile();
    if (file == nullptr) {
        RaiseError3ds(ERR_WRITING_FILE);
        return false;
    }
    if (!PutBytes(*file, bytes, count)) {
        NoteFailure(*file);
        RaiseError3ds(ERR_WRITING_FILE);
        return false;
    }
    return true;
}

// Reads one item of count bytes from the current file; false (and the error raised) when the
// stream cannot deliver all of it.
bool ReadItem(uint8_t* bytes, size_t count) {
    File3ds* file = CurrentOpenFile();
    if (file == nullptr) {
        RaiseError3ds(ERR_READING_FILE);
        return false;
    }
    // Items are a few bytes: taking them straight from the buffer, without
    // fread's locking and copying, makes reading several times faster.
    for (size_t i = 0; i < count; ++i) {
        const int byte = getc_unlocked(file->stream);
        if (byte == EOF) {
            // The end of the file has no system reason; a failed read has.
            if (std::ferror(file->stream) != 0) {
                NoteFailure(*file);
            }
            RaiseError3ds(ERR_READING_FILE);
            return false;
        }
        bytes[i] = static_cast<uint8_t>(byte);
    }
    return true;
}

// The text up to its first zero byte, where a C string would end.
std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Takes a record out of the table and frees it; for the failure paths of OpenFile3ds.
void DiscardFile(File3ds* file) {
    RemoveFileFromTable3ds(file);
}

// Reads bytes until a zero byte, taking at most limit + 1 bytes. The string grows with the
// bytes actually read, so a huge limit costs nothing up front.
std::string ReadZeroTerminated(uint32_t limit, uint64_t& bytesTaken) {
    std::string text;
    bytesTaken = 0;
    try {
        const uint64_t maxBytes = uint64_t{limit} + 1;
        while (bytesTaken < maxBytes) {
            const int8_t value = ReadByte3ds();
            if (ErrorPending3ds) {
                return {};
            }
            ++bytesTaken;
            if (value == 0) {
                return text;
            }
            text.push_back(static_cast<char>(value));
        }
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return {};
    }
    RaiseError3ds(ERR_READING_FILE);
    return {};
}

} // namespace

File3ds::~File3ds() {
    // The stream may still use buffer, which is destroyed after this body.
    if (stream != nullptr) {
        FlushOutput(*this);
        std::fclose(stream);
    }
    if (isTemporary) {
        std::remove(name.c_str());
    }
}

FileTable3ds* GetFileTable3ds() {
    return fileTable.get();
}

// --- File table and current file -------------------------------------------

File3ds* OpenFile3ds(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return nullptr;
    }
    File3ds* existing = FindOpenFile3ds(name);

    std::unique_ptr<File3ds> record;
    try {
        record = std::make_unique<File3ds>();
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
    }
    if (ErrorPending3ds) {
        RaiseError3ds(ERR_INIT_FAILED);
        return nullptr;
    }

    File3ds* file = record.get();
    AddFileToTable3ds(std::move(record));
    if (ErrorPending3ds) {
        return nullptr;
    }

    file->name = DupString3ds(name);
    if (ErrorPending3ds) {
        DiscardFile(file);
        return nullptr;
    }

    const uint32_t modeLength = BoundedLength3ds(mode, kModeLengthLimit);
    for (uint32_t i = 0; i < modeLength && file->mode == 0; ++i) {
        if (mode[i] == 'r') {
            file->mode = kModeRead3ds;
        } else if (mode[i] == 'w') {
            file->mode = kModeWrite3ds;
        }
    }
    if (file->mode == 0) {
        RaiseError3ds(ERR_INIT_FAILED);
        DiscardFile(file);
        return nullptr;
    }

    if (existing != nullptr) {
        if (existing->mode == file->mode) {
            DiscardFile(file);
            return existing;
        }
        if ((existing->mode & kModeRead3ds) != 0) {
            MoveReadFileAside3ds(existing);
            if (ErrorPending3ds) {
                DiscardFile(file);
                return nullptr;
            }
        } else {
            // A failed close is recorded, but the name is free either way.
            CloseFile3ds(existing);
        }
    }

    file->stream = std::fopen(file->name.c_str(), file->mode == kModeRead3ds ? "rb" : "wb");
    // A directory opens for reading, but holds no bytes to read.
    struct stat status {};
    if (file->stream != nullptr && fstat(fileno(file->stream), &status) == 0 &&
        S_ISDIR(status.st_mode)) {
        std::fclose(file->stream);
        file->stream = nullptr;
        errno = EISDIR;
    }
    if (file->stream == nullptr) {
        NoteFailure(*file);
        RaiseError3ds(ERR_OPENING_FILE);
        DiscardFile(file);
        return nullptr;
    }

    // Output is buffered by the file itself, so the stream must not buffer it again.
    if (file->mode == kModeWrite3ds) {
        std::setvbuf(file->stream, nullptr, _IONBF, 0);
        ResetOutputCapacity(file->output);
        return file;
    }
    // Without a buffer of our own the stream keeps its default buffering; that is no error.
    try {
        file->buffer = std::make_unique_for_overwrite<char[]>(kFileBufferSize3ds);
        file->bufferSize = kFileBufferSize3ds;
        std::setvbuf(file->stream, file->buffer.get(), _IOFBF, file->bufferSize);
    } catch (const std::bad_alloc&) {
    }
    return file;
}

void CloseFile3ds(File3ds* file) {
    if (file == nullptr) {
        return;
    }
    bool failed = false;
    int systemError = 0; // of the first call that failed
    const auto check = [&failed, &systemError](bool callFailed) {
        if (callFailed && !failed) {
            systemError = errno;
        }
        failed = failed || callFailed;
    };
    if (file->stream != nullptr) {
        // A write that failed earlier or a failed flush means data never reached the file.
        if ((file->mode & kModeWrite3ds) != 0) {
            check(!FlushOutput(*file));
            check(std::fflush(file->stream) != 0);
            check(std::ferror(file->stream) != 0);
        }
        check(std::fclose(file->stream) != 0);
        file->stream = nullptr;
    }
    if (failed) {
        NoteFileFailure3ds(file->name, systemError);
    }
    if (file->isTemporary) {
        std::remove(file->name.c_str());
        file->isTemporary = false;
    }
    // Dropping the returned owner frees the record with its name and buffer.
    RemoveFileFromTable3ds(file);
    if (failed) {
        RaiseError3ds(ERR_CLOSING_FILE);
    }
}

void CloseAllFiles3ds() {
    if (fileTable == nullptr) {
        return;
    }
    for (int slot = 0; slot < fileTable->slotsInUse; ++slot) {
        File3ds* file = fileTable->slots[slot].get();
        if (file == nullptr) {
            continue;
        }
        CloseFile3ds(file);
        if (ErrorPending3ds) {
            return;
        }
    }
    fileTable.reset();
}

File3ds* FindOpenFile3ds(const char* name) {
    if (fileTable == nullptr || name == nullptr) {
        return nullptr;
    }
    for (int slot = 0; slot < fileTable->slotsInUse; ++slot) {
        File3ds* file = fileTable->slots[slot].get();
        if (file != nullptr && file->name == name) {
            return file;
        }
    }
    return nullptr;
}

void AddFileToTable3ds(std::unique_ptr<File3ds> file) {
    if (file == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    if (fileTable == nullptr) {
        try {
            fileTable = std::make_unique<FileTable3ds>();
        } catch (const std::bad_alloc&) {
            RaiseError3ds(ERR_NO_MEM);
            return;
        }
    }
    int slot = 0;
    while (slot < fileTable->slotsInUse && fileTable->slots[slot] != nullptr) {
        ++slot;
    }
    if (slot >= kMaxFiles3ds) {
        RaiseError3ds(ERR_TOO_MANY_FILES);
        return;
    }
    file->index = static_cast<uint8_t>(slot);
    fileTable->slots[slot] = std::move(file);
    if (slot == fileTable->slotsInUse) {
        ++fileTable->slotsInUse;
    }
}

std::unique_ptr<File3ds> RemoveFileFromTable3ds(File3ds* file) {
    if (file == nullptr || fileTable == nullptr || file->index >= kMaxFiles3ds ||
        fileTable->slots[file->index].get() != file) {
        return nullptr;
    }
    // The current file never refers to a record the table no longer holds.
    if (fileTable->current == file) {
        fileTable->current = nullptr;
        fileTable->currentIndex = kNoFileIndex3ds;
    }
    std::unique_ptr<File3ds> owner = std::move(fileTable->slots[file->index]);
    owner->index = kNoFileIndex3ds;
    return owner;
}

void MoveReadFileAside3ds(File3ds* file) {
    if (file == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    std::string tempName;
    try {
        // The copy stays in the directory of the original, so the rename never crosses devices.
        const size_t separator = file->name.find_last_of(kPathSeparators);
        if (separator != std::string::npos) {
            tempName = file->name.substr(0, separator + 1);
        }
        tempName += kTempNamePattern;
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return;
    }
    if (tempName.size() + 1 > kTempNameWorkArea) {
        RaiseError3ds(ERR_OPENING_FILE);
        return;
    }
    // mkstemp creates the name exclusively; the rename then replaces that empty file, so no
    // other process can take the name in between.
    const int descriptor = mkstemp(tempName.data());
    if (descriptor < 0) {
        NoteFailure(*file);
        RaiseError3ds(ERR_OPENING_FILE);
        return;
    }
    close(descriptor);
    // The open stream follows the file through the rename and keeps its position and buffer.
    if (std::rename(file->name.c_str(), tempName.c_str()) != 0) {
        NoteFailure(*file);
        std::remove(tempName.c_str());
        RaiseError3ds(ERR_OPENING_FILE);
        return;
    }
    file->isTemporary = true;
    file->name = std::move(tempName);
}

void SetCurrentFile3ds(File3ds* file) {
    if (file == nullptr) {
        if (fileTable != nullptr) {
            fileTable->current = nullptr;
            fileTable->currentIndex = kNoFileIndex3ds;
        }
        return;
    }
    if (GetFileByIndex3ds(file->index) != file) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    fileTable->current = file;
    fileTable->currentIndex = file->index;
}

void SelectFileByIndex3ds(uint8_t index) {
    File3ds* file = GetFileByIndex3ds(index);
    if (file != nullptr) {
        SetCurrentFile3ds(file);
    }
}

File3ds* GetFileByIndex3ds(uint8_t index) {
    if (fileTable == nullptr || index >= fileTable->slotsInUse) {
        return nullptr;
    }
    return fileTable->slots[index].get();
}

bool IsFileIndexValid3ds(uint8_t index) {
    return index != kNoFileIndex3ds && GetFileByIndex3ds(index) != nullptr;
}

File3ds* GetCurrentFile3ds() {
    return fileTable == nullptr ? nullptr : fileTable->current;
}

int32_t GetFilePosition3ds() {
    File3ds* file = CurrentOpenFile();
    if (file == nullptr) {
        return -1;
    }
    // A file open for writing knows its position without asking the system.
    const int64_t position = file->mode == kModeWrite3ds
                                 ? static_cast<int64_t>(file->output.start + file->output.size)
                                 : std::ftell(file->stream);
    // A position beyond 31 bits reads as a failure rather than wrapping.
    if (position < 0 || position > std::numeric_limits<int32_t>::max()) {
        return -1;
    }
    return static_cast<int32_t>(position);
}

void SetFilePosition3ds(int32_t position) {
    File3ds* file = CurrentOpenFile();
    if (file != nullptr && position >= 0) {
        Seek(*file, static_cast<uint64_t>(position));
    }
}

// --- Output of files open for writing ----------------------------------------

void HoldOutput3ds(File3ds* file) {
    if (file != nullptr && file->stream != nullptr && file->mode == kModeWrite3ds) {
        ++file->output.holds;
    }
}

void ReleaseOutput3ds(File3ds* file) {
    if (file == nullptr || file->output.holds == 0) {
        return;
    }
    if (--file->output.holds > 0) {
        return;
    }
    const bool written = FlushOutput(*file);
    if (!written) {
        NoteFailure(*file);
    }
    ResetOutputCapacity(file->output);
    if (!written) {
        RaiseError3ds(ERR_WRITING_FILE);
    }
}

int64_t GetFileSize3ds(const File3ds* file) {
    // Asking the file system leaves the stream's position and buffer alone.
    struct stat status {};
    if (file == nullptr || file->stream == nullptr || fstat(fileno(file->stream), &status) != 0) {
        return -1;
    }
    return status.st_size;
}

// --- Primitives --------------------------------------------------------------

void WriteByte3ds(int8_t value) {
    WriteUByte3ds(static_cast<uint8_t>(value));
}

void WriteUByte3ds(uint8_t value) {
    WriteItem(&value, 1);
}

void WriteShort3ds(int16_t value) {
    WriteUShort3ds(static_cast<uint16_t>(value));
}

void WriteUShort3ds(uint16_t value) {
    uint8_t bytes[2];
    StoreUShort(bytes, value);
    WriteItem(bytes, sizeof bytes);
}

void WriteLong3ds(int32_t value) {
    WriteULong3ds(static_cast<uint32_t>(value));
}

void WriteULong3ds(uint32_t value) {
    uint8_t bytes[4];
    StoreULong(bytes, value);
    WriteItem(bytes, sizeof bytes);
}

void WriteFloat3ds(float value) {
    WriteULong3ds(std::bit_cast<uint32_t>(value));
}

int8_t ReadByte3ds() {
    return static_cast<int8_t>(ReadUByte3ds());
}

uint8_t ReadUByte3ds() {
    uint8_t value = 0;
    return ReadItem(&value, 1) ? value : 0;
}

int16_t ReadShort3ds() {
    return static_cast<int16_t>(ReadUShort3ds());
}

uint16_t ReadUShort3ds() {
    uint8_t bytes[2] = {};
    if (!ReadItem(bytes, sizeof bytes)) {
        return 0;
    }
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

int32_t ReadLong3ds() {
    return static_cast<int32_t>(ReadULong3ds());
}

uint32_t ReadULong3ds() {
    uint8_t bytes[4] = {};
    if (!ReadItem(bytes, sizeof bytes)) {
        return 0;
    }
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

float ReadFloat3ds() {
    const uint32_t bits = ReadULong3ds();
    if (ErrorPending3ds) {
        return 0;
    }
    return std::bit_cast<float>(bits);
}

void WriteByteArray3ds(uint32_t count, const uint8_t* bytes) {
    if (count > 0 && bytes == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    WriteItem(bytes, count);
}

void ReadByteArray3ds(uint32_t count, uint8_t* buffer) {
    if (count > 0 && buffer == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        buffer[i] = static_cast<uint8_t>(ReadByte3ds());
        if (ErrorPending3ds) {
            return;
        }
    }
}

void WriteString3ds(std::string_view text) {
    text = UpToZero(text);
    File3ds* file = CurrentOpenFile();
    // Both parts are attempted; a failure of either is raised once.
    bool failed = file == nullptr;
    if (!failed) {
        constexpr uint8_t kZero = 0;
        failed = !PutBytes(*file, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        if (failed) {
            NoteFailure(*file);
        }
        failed = !PutBytes(*file, &kZero, 1) || failed;
        if (failed) {
            NoteFailure(*file);
        }
    }
    if (failed) {
        RaiseError3ds(ERR_WRITING_FILE);
    }
}

void WriteFixedString3ds(std::string_view text, uint32_t fieldLength) {
    text = UpToZero(text);
    if (!WriteItem(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        return;
    }
    for (uint64_t written = text.size(); written < fieldLength; ++written) {
        WriteUByte3ds(0);
        if (ErrorPending3ds) {
            return;
        }
    }
}

std::string ReadString3ds(uint32_t limit) {
    uint64_t bytesTaken = 0;
    return ReadZeroTerminated(limit, bytesTaken);
}

std::string ReadFixedString3ds(uint32_t limit) {
    uint64_t bytesTaken = 0;
    std::string text = ReadZeroTerminated(limit, bytesTaken);
    if (ErrorPending3ds) {
        return {};
    }
    for (uint64_t rest = uint64_t{limit} + 1 - bytesTaken; rest > 0; --rest) {
        ReadUByte3ds();
        if (ErrorPending3ds) {
            return {};
        }
    }
    return text;
}

// --- Composite values --------------------------------------------------------

void WritePoint3ds(const Point3ds& point) {
    WriteFloat3ds(point.x);
    if (ErrorPending3ds) {
        return;
    }
    WriteFloat3ds(point.y);
    if (ErrorPending3ds) {
        return;
    }
    WriteFloat3ds(point.z);
}

// The readers store a field only once it has been read, so a failure leaves the defaults in
// the failed field and every field after it.
Point3ds ReadPoint3ds() {
    Point3ds point;
    for (float* field : {&point.x, &point.y, &point.z}) {
        const float value = ReadFloat3ds();
        if (ErrorPending3ds) {
            return point;
        }
        *field = value;
    }
    return point;
}

void WriteTexVert3ds(const TexVert3ds& texVert) {
    WriteFloat3ds(texVert.u);
    if (ErrorPending3ds) {
        return;
    }
    WriteFloat3ds(texVert.v);
}

TexVert3ds ReadTexVert3ds() {
    TexVert3ds texVert;
    for (float* field : {&texVert.u, &texVert.v}) {
        const float value = ReadFloat3ds();
        if (ErrorPending3ds) {
            return texVert;
        }
        *field = value;
    }
    return texVert;
}

void WriteFace3ds(const Face3ds& face) {
    for (uint16_t value : {face.vertexA, face.vertexB, face.vertexC, face.flags}) {
        WriteUShort3ds(value);
        if (ErrorPending3ds) {
            return;
        }
    }
}

Face3ds ReadFace3ds() {
    Face3ds face;
    for (uint16_t* field : {&face.vertexA, &face.vertexB, &face.vertexC, &face.flags}) {
        const uint16_t value = ReadUShort3ds();
        if (ErrorPending3ds) {
            return face;
        }
        *field = value;
    }
    return face;
}

void WriteTrackHeader3ds(const TrackHeader3ds& header) {
    WriteUShort3ds(header.flags);
    if (ErrorPending3ds) {
        return;
    }
    for (uint32_t value : {header.reserved1, header.reserved2, header.keyCount}) {
        WriteULong3ds(value);
        if (ErrorPending3ds) {
            return;
        }
    }
}

TrackHeader3ds ReadTrackHeader3ds() {
    TrackHeader3ds header;
    const uint16_t flags = ReadUShort3ds();
    if (ErrorPending3ds) {
        return header;
    }
    header.flags = flags;
    for (uint32_t* field : {&header.reserved1, &header.reserved2, &header.keyCount}) {
        const uint32_t value = ReadULong3ds();
        if (ErrorPending3ds) {
            return header;
        }
        *field = value;
    }
    return header;
}

namespace {

struct SplineField {
    uint16_t flag;
    float KeyHeader3ds::*field;
};

// On disk the floats follow in this order, each only when its flag is set.
constexpr SplineField kSplineFields[] = {
    {kSplineTension3ds, &KeyHeader3ds::tension},
    {kSplineContinuity3ds, &KeyHeader3ds::continuity},
    {kSplineBias3ds, &KeyHeader3ds::bias},
    {kSplineEaseTo3ds, &KeyHeader3ds::easeTo},
    {kSplineEaseFrom3ds, &KeyHeader3ds::easeFrom},
};

} // namespace

void WriteKeyHeader3ds(const KeyHeader3ds& header) {
    WriteULong3ds(header.time);
    if (ErrorPending3ds) {
        return;
    }
    WriteUShort3ds(header.splineFlags);
    if (ErrorPending3ds) {
        return;
    }
    for (const SplineField& spline : kSplineFields) {
        if ((header.splineFlags & spline.flag) == 0) {
            continue;
        }
        WriteFloat3ds(header.*spline.field);
        if (ErrorPending3ds) {
            return;
        }
    }
}

KeyHeader3ds ReadKeyHeader3ds() {
    KeyHeader3ds header;
    const uint32_t time = ReadULong3ds();
    if (ErrorPending3ds) {
        return header;
    }
    header.time = time;
    const uint16_t flags = ReadUShort3ds();
    if (ErrorPending3ds) {
        return header;
    }
    header.splineFlags = flags;
    for (const SplineField& spline : kSplineFields) {
        if ((flags & spline.flag) == 0) {
            continue;
        }
        const float value = ReadFloat3ds();
        if (ErrorPending3ds) {
            return header;
        }
        header.*spline.field = value;
    }
    return header;
}

// --- Arrays ------------------------------------------------------------------

namespace {

// Encodes the elements batch by batch on the stack, each batch one item.
template <size_t kElementBytes, typename Element, typename Store>
void WriteArray(std::span<const Element> elements, Store store) {
    constexpr size_t kBatchElements = 4096 / kElementBytes;
    uint8_t batch[kBatchElements * kElementBytes];
    for (size_t first = 0; first < elements.size(); first += kBatchElements) {
        const size_t count = std::min(kBatchElements, elements.size() - first);
        for (size_t i = 0; i < count; ++i) {
            store(batch + i * kElementBytes, elements[first + i]);
        }
        if (!WriteItem(batch, count * kElementBytes)) {
            return;
        }
    }
}

} // namespace

void WriteUShorts3ds(std::span<const uint16_t> values) {
    WriteArray<2>(values, StoreUShort);
}

void WriteULongs3ds(std::span<const uint32_t> values) {
    WriteArray<4>(values, StoreULong);
}

void WritePoints3ds(std::span<const Point3ds> points) {
    WriteArray<12>(points, [](uint8_t* at, const Point3ds& point) {
        StoreFloat(at, point.x);
        StoreFloat(at + 4, point.y);
        StoreFloat(at + 8, point.z);
    });
}

void WriteTexVerts3ds(std::span<const TexVert3ds> texVerts) {
    WriteArray<8>(texVerts, [](uint8_t* at, const TexVert3ds& texVert) {
        StoreFloat(at, texVert.u);
        StoreFloat(at + 4, texVert.v);
    });
}

void WriteFaces3ds(std::span<const Face3ds> faces) {
    WriteArray<8>(faces, [](uint8_t* at, const Face3ds& face) {
        StoreUShort(at, face.vertexA);
        StoreUShort(at + 2, face.vertexB);
        StoreUShort(at + 4, face.vertexC);
        StoreUShort(at + 6, face.flags);
    });
}

// --- Chunk framing -----------------------------------------------------------

void WriteChunkHeader3ds(uint16_t tag, uint32_t length) {
    WriteUShort3ds(tag);
    if (ErrorPending3ds) {
        return;
    }
    WriteULong3ds(length);
}

void PatchChunkLength3ds(int32_t start, int32_t end) {
    // The length field sits behind the two tag bytes of the header.
    constexpr uint64_t kLengthFieldOffset = 2;
    constexpr uint64_t kLengthFieldSize = 4;
    File3ds* file = CurrentOpenFile();
    // A negative position is one GetFilePosition3ds could not give; a length must never wrap.
    if (file == nullptr || start < 0 || end < start) {
        RaiseError3ds(ERR_WRITING_FILE);
        return;
    }
    const uint32_t length = static_cast<uint32_t>(end - start);
    const uint64_t field = uint64_t(start) + kLengthFieldOffset;
    const PendingOutput3ds& output = file->output;
    uint8_t bytes[kLengthFieldSize];
    StoreULong(bytes, length);
    if (field >= output.start && field + kLengthFieldSize <= output.start + output.size) {
        std::memcpy(output.bytes.get() + (field - output.start), bytes, sizeof bytes);
    } else if (file->mode == kModeWrite3ds && field + kLengthFieldSize <= output.start) {
        // Bytes the stream already has are patched in place, leaving the position alone.
        if (pwrite(fileno(file->stream), bytes, sizeof bytes, static_cast<off_t>(field)) !=
            static_cast<ssize_t>(sizeof bytes)) {
            NoteFailure(*file);
            RaiseError3ds(ERR_WRITING_FILE);
            return;
        }
    } else {
        if (!Seek(*file, field)) {
            NoteFailure(*file);
            RaiseError3ds(ERR_WRITING_FILE);
            return;
        }
        if (!WriteItem(bytes, sizeof bytes)) {
            return;
        }
    }
    if (!Seek(*file, uint64_t(end))) {
        NoteFailure(*file);
        RaiseError3ds(ERR_WRITING_FILE);
    }
}

// --- Utilities ---------------------------------------------------------------

std::string DupString3ds(std::string_view text) {
    try {
        return std::string(text);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return {};
    }
}

uint32_t BoundedLength3ds(const char* text, uint32_t limit) {
    if (text == nullptr) {
        RaiseError3ds(ERR_INVALID_ARG);
        return 0;
    }
    const size_t length = strnlen(text, size_t{limit} + 2);
    if (length > size_t{limit} + 1) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return 0;
    }
    return static_cast<uint32_t>(length);
}
