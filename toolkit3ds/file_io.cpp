#include "toolkit3ds/file_io.h"

#include "toolkit3ds/errors.h"

#include <bit>
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

std::FILE* CurrentStream() {
    File3ds* file = GetCurrentFile3ds();
    return file == nullptr ? nullptr : file->stream;
}

// Writes one item of count bytes to the current file.
void WriteItem(const uint8_t* bytes, size_t count) {
    std::FILE* stream = CurrentStream();
    if (stream == nullptr || std::fwrite(bytes, count, 1, stream) != 1) {
        RaiseError3ds(ERR_WRITING_FILE);
    }
}

// Reads one item of count bytes from the current file; false (and the error raised) when the
// stream cannot deliver all of it.
bool ReadItem(uint8_t* bytes, size_t count) {
    std::FILE* stream = CurrentStream();
    if (stream == nullptr) {
        RaiseError3ds(ERR_READING_FILE);
        return false;
    }
    // Items are a few bytes: taking them straight from the buffer, without
    // fread's locking and copying, makes reading several times faster.
    for (size_t i = 0; i < count; ++i) {
        const int byte = getc_unlocked(stream);
        if (byte == EOF) {
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
    if (file->stream == nullptr) {
        RaiseError3ds(ERR_OPENING_FILE);
        DiscardFile(file);
        return nullptr;
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
    if (file->stream != nullptr) {
        // A write that failed earlier or a failed flush means data never reached the file.
        if ((file->mode & kModeWrite3ds) != 0) {
            failed = std::fflush(file->stream) != 0 || std::ferror(file->stream) != 0;
        }
        failed = std::fclose(file->stream) != 0 || failed;
        file->stream = nullptr;
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
        RaiseError3ds(ERR_OPENING_FILE);
        return;
    }
    close(descriptor);
    // The open stream follows the file through the rename and keeps its position and buffer.
    if (std::rename(file->name.c_str(), tempName.c_str()) != 0) {
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
    std::FILE* stream = CurrentStream();
    if (stream == nullptr) {
        return -1;
    }
    const long position = std::ftell(stream);
    // A position beyond 32 bits reads as a failure rather than wrapping.
    if (position < 0 || position > std::numeric_limits<int32_t>::max()) {
        return -1;
    }
    return static_cast<int32_t>(position);
}

void SetFilePosition3ds(int32_t position) {
    std::FILE* stream = CurrentStream();
    if (stream != nullptr && position >= 0) {
        std::fseek(stream, position, SEEK_SET);
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
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    WriteItem(bytes, sizeof bytes);
}

void WriteLong3ds(int32_t value) {
    WriteULong3ds(static_cast<uint32_t>(value));
}

void WriteULong3ds(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
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
    for (uint32_t i = 0; i < count; ++i) {
        WriteUByte3ds(bytes[i]);
        if (ErrorPending3ds) {
            return;
        }
    }
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
    std::FILE* stream = CurrentStream();
    // Both parts are attempted; a failure of either is raised once.
    bool failed = stream == nullptr;
    if (!failed) {
        failed = std::fwrite(text.data(), 1, text.size(), stream) != text.size();
        failed = std::fputc(0, stream) == EOF || failed;
    }
    if (failed) {
        RaiseError3ds(ERR_WRITING_FILE);
    }
}

void WriteFixedString3ds(std::string_view text, uint32_t fieldLength) {
    text = UpToZero(text);
    std::FILE* stream = CurrentStream();
    if (stream == nullptr || std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        RaiseError3ds(ERR_WRITING_FILE);
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
    constexpr long kLengthFieldOffset = 2;
    std::FILE* stream = CurrentStream();
    // A negative position is one GetFilePosition3ds could not give; a length must never wrap.
    if (stream == nullptr || start < 0 || end < start) {
        RaiseError3ds(ERR_WRITING_FILE);
        return;
    }
    if (std::fseek(stream, long{start} + kLengthFieldOffset, SEEK_SET) != 0) {
        RaiseError3ds(ERR_WRITING_FILE);
        return;
    }
    WriteULong3ds(static_cast<uint32_t>(end - start));
    if (ErrorPending3ds) {
        return;
    }
    if (std::fseek(stream, end, SEEK_SET) != 0) {
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
