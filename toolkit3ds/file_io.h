#pragma once
// Toolkit file access and byte-level encoding.
//
// The toolkit keeps a table of up to 252 open files and one current file.
// Every read and write primitive works on the current file's stream. All
// values on disk are little-endian, whatever the host. Failures raise the
// codes of errors.h and return at once; readers then return 0 (or the
// documented default). A failed system call on a file first notes the file's
// name and the system's error (NoteFileFailure3ds); the end of a file is no
// such failure. Like every toolkit operation, the multi-step ones here
// also stop when ErrorPending3ds was already set by an earlier, uncleared error.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kMaxFiles3ds = 252;        // slots 0..251
inline constexpr uint8_t kNoFileIndex3ds = 255; // slot number meaning "none"
inline constexpr uint32_t kFileBufferSize3ds = 8192;
inline constexpr uint32_t kHeldOutputSize3ds = 1 << 20; // see HoldOutput3ds

inline constexpr uint32_t kModeRead3ds = 1;
inline constexpr uint32_t kModeWrite3ds = 2;

// What a file open for writing holds back from its stream: bytes the
// primitives wrote, at file positions start .. start + size.
struct PendingOutput3ds {
    std::unique_ptr<uint8_t[]> bytes; // capacity bytes, or none
    size_t size = 0;                  // bytes written into it
    size_t capacity = 0;              // kFileBufferSize3ds; kHeldOutputSize3ds once held
    uint64_t start = 0;               // file position of bytes[0]
    uint32_t holds = 0;               // HoldOutput3ds calls not yet released
};

// One file known to the toolkit. Owned by the file table; freed by CloseFile3ds.
struct File3ds {
    std::FILE* stream = nullptr;     // open stream, or none
    std::string name;                // as given to OpenFile3ds, or the temporary name
    uint32_t mode = 0;               // kModeRead3ds or kModeWrite3ds; 0 until known
    uint8_t index = kNoFileIndex3ds; // slot in the file table
    std::unique_ptr<char[]> buffer;  // reading: stream buffer installed with setvbuf, or none
    uint32_t bufferSize = 0;         // size of buffer in bytes
    PendingOutput3ds output;         // writing: bytes not yet handed to the stream
    bool isTemporary = false;        // moved aside: CloseFile3ds deletes the file

    File3ds() = default;
    File3ds(const File3ds&) = delete;
    File3ds& operator=(const File3ds&) = delete;
    // Hands pending output to the stream, closes it and deletes a temporary
    // copy, without reporting.
    ~File3ds();
};

// Toolkit-wide file table. Created by the first registration, discarded by
// CloseAllFiles3ds.
struct FileTable3ds {
    std::unique_ptr<File3ds> slots[kMaxFiles3ds];
    uint8_t slotsInUse = 0;     // one more than the highest slot filled since creation
    File3ds* current = nullptr; // always a record held by slots, or none
    uint8_t currentIndex = 0;
};

// The table, or none before the first open and after CloseAllFiles3ds.
FileTable3ds* GetFileTable3ds();

// --- File table and current file -------------------------------------------

// Opens a file: the first "r" or "w" of the mode string decides, "r" reads ("rb"),
// "w" writes ("wb", created or truncated); a mode string over 31 characters counts
// as empty. The record is owned by the table; the file does not become current.
// A name already open in the same mode gives the existing record; one open for
// reading is moved aside (MoveReadFileAside3ds); one open for writing is closed
// (a failed close raises ERR_CLOSING_FILE, and the open goes on). A directory
// does not open, for reading either (EISDIR).
// Returns none on failure, and then leaves no new record in the table:
// ERR_INVALID_ARG, ERR_INIT_FAILED (also when an error is already pending),
// ERR_TOO_MANY_FILES, ERR_STRING_TOO_LONG, ERR_OPENING_FILE, ERR_NO_MEM.
File3ds* OpenFile3ds(const char* name, const char* mode);
// Flushes and closes one file (pending output and a hold included), deletes it
// when it is temporary, frees its record (the current file becomes none when it
// was this one). ERR_CLOSING_FILE, raised last, when the flush or close fails or
// an earlier write was lost. None does nothing.
void CloseFile3ds(File3ds* file);
// Closes every file in slot order, then discards the table. Stops, leaving the
// table and the files not yet closed, when ErrorPending3ds is set after a close.
void CloseAllFiles3ds();
// The first record, in slot order, whose name equals name byte for byte; or none.
File3ds* FindOpenFile3ds(const char* name);
// Registers a record in the first free slot; the table takes ownership (on
// failure the record is freed): ERR_TOO_MANY_FILES, ERR_NO_MEM.
void AddFileToTable3ds(std::unique_ptr<File3ds> file);
// Unregisters a record and hands its ownership back (none when not registered).
// slotsInUse is unchanged.
std::unique_ptr<File3ds> RemoveFileFromTable3ds(File3ds* file);
// Renames a file open for reading to a fresh temporary name in its directory;
// the stream keeps reading the old contents at its position and CloseFile3ds
// deletes the copy. The name is created exclusively (no other process can take
// it). ERR_OPENING_FILE when the temporary name would exceed 512 bytes or the
// file cannot be created or renamed; the record is then unchanged.
void MoveReadFileAside3ds(File3ds* file);
// Makes a file of the table current; none makes no file current.
// ERR_INVALID_ARG for a record the table does not hold.
void SetCurrentFile3ds(File3ds* file);
// Makes the file in a slot current; nothing changes for an empty or unknown slot.
void SelectFileByIndex3ds(uint8_t index);
// The record in a slot, or none when the slot is empty or not below slotsInUse.
File3ds* GetFileByIndex3ds(uint8_t index);
// False for 255 and for a slot GetFileByIndex3ds finds empty.
bool IsFileIndexValid3ds(uint8_t index);
// The current file, or none.
File3ds* GetCurrentFile3ds();

// The current file's byte position; -1 without a current file or when the
// position does not fit in 31 bits. Raises nothing.
int32_t GetFilePosition3ds();
// Moves the current file to an absolute position. Raises nothing. Moving a
// file open for writing anywhere but where it stands hands its pending output
// to the stream first; staying put costs nothing.
void SetFilePosition3ds(int32_t position);
// The size in bytes of a file open for reading, from the file system; -1 for
// none, a file without stream or a size the system cannot give. Raises nothing.
int64_t GetFileSize3ds(const File3ds* file);

// --- Output of files open for writing ----------------------------------------
//
// The primitives write into the file's pending output, which goes to the stream
// whenever the next item would not fit in its kFileBufferSize3ds bytes (an item
// larger than that follows at once), and at the close. So a full device fails
// the write that overflows the buffer, or else the close.
//
// While the output is held, the pending output grows instead, up to
// kHeldOutputSize3ds bytes: a chunk writer patches the lengths of all but its
// longest chunks in memory, without a seek or a system call, and the output
// goes to the stream a megabyte at a time. A full held output, memory that runs
// out or held bytes that would pass 31-bit positions send the pending output to
// the stream without an error; a length already sent is then patched with one
// positioned write.

// Starts holding the output of a file open for writing; holds nest. Nothing for
// none or for a file not open for writing.
void HoldOutput3ds(File3ds* file);
// Ends one hold; ending the last hands the pending output to the stream and
// frees the memory held beyond kFileBufferSize3ds. ERR_WRITING_FILE when the
// stream does not take it all. Works whether or not an error is pending, as a
// close does, so a failed chunk writer leaves its bytes where it wrote them.
// Nothing for none or a file not held.
void ReleaseOutput3ds(File3ds* file);

// --- Primitives (current file) ---------------------------------------------

// Each writes one item, least significant byte first; ERR_WRITING_FILE when the
// stream does not take the whole item or there is no current file.
void WriteByte3ds(int8_t value);
void WriteUByte3ds(uint8_t value);
void WriteShort3ds(int16_t value);
void WriteUShort3ds(uint16_t value);
void WriteLong3ds(int32_t value);
void WriteULong3ds(uint32_t value);
void WriteFloat3ds(float value); // IEEE 754 single precision

// Each reads one item; ERR_READING_FILE and 0 when the stream cannot deliver it.
int8_t ReadByte3ds();
uint8_t ReadUByte3ds();
int16_t ReadShort3ds();
uint16_t ReadUShort3ds();
int32_t ReadLong3ds();
uint32_t ReadULong3ds();
float ReadFloat3ds();

// count bytes; the reader takes them one at a time and stops at the first
// error. A null array with a count above 0 raises ERR_INVALID_ARG.
void WriteByteArray3ds(uint32_t count, const uint8_t* bytes);
void ReadByteArray3ds(uint32_t count, uint8_t* buffer);

// The characters and one zero byte. Texts end at their first zero byte.
void WriteString3ds(std::string_view text);
// The characters, then zero bytes up to fieldLength bytes; a text as long as
// the field or longer is written whole without a zero byte.
void WriteFixedString3ds(std::string_view text, uint32_t fieldLength);
// Reads up to limit + 1 bytes until a zero byte; ERR_READING_FILE without one
// (or at the end of the file), ERR_NO_MEM. Returns the text, empty on failure.
// Memory grows with the bytes read, not with limit.
std::string ReadString3ds(uint32_t limit);
// Reads a field of limit + 1 bytes holding a zero-terminated string, and drops
// the bytes behind the zero. Fails as ReadString3ds does.
std::string ReadFixedString3ds(uint32_t limit);

// --- Composite values --------------------------------------------------------

// Defaults are what a reader returns in the fields it could not read.
struct Point3ds {
    float x = 0, y = 0, z = 0;
};

struct TexVert3ds {
    float u = 0, v = 0;
};

struct Face3ds {
    uint16_t vertexA = 0, vertexB = 1, vertexC = 2;
    uint16_t flags = 0;
};

struct TrackHeader3ds {
    uint16_t flags = 0;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
    uint32_t keyCount = 1;
};

// Spline flag bits: each set bit puts one float on disk, in this order.
inline constexpr uint16_t kSplineTension3ds = 0x01;
inline constexpr uint16_t kSplineContinuity3ds = 0x02;
inline constexpr uint16_t kSplineBias3ds = 0x04;
inline constexpr uint16_t kSplineEaseTo3ds = 0x08;
inline constexpr uint16_t kSplineEaseFrom3ds = 0x10;

struct KeyHeader3ds {
    uint32_t time = 0;
    uint16_t splineFlags = 0;
    float tension = 0, continuity = 0, bias = 0, easeTo = 0, easeFrom = 0;
};

// Fields in declaration order: floats, or unsigned 16-bit for a face, or for a
// track header the u16 flags then three u32. A key header is the u32 time, the
// u16 flags and one float per set flag. Writers and readers stop at the first
// error; readers keep the defaults from the failed field on.
void WritePoint3ds(const Point3ds& point);
Point3ds ReadPoint3ds();
void WriteTexVert3ds(const TexVert3ds& texVert);
TexVert3ds ReadTexVert3ds();
void WriteFace3ds(const Face3ds& face);
Face3ds ReadFace3ds();
void WriteTrackHeader3ds(const TrackHeader3ds& header);
TrackHeader3ds ReadTrackHeader3ds();
void WriteKeyHeader3ds(const KeyHeader3ds& header);
KeyHeader3ds ReadKeyHeader3ds();

// --- Arrays ------------------------------------------------------------------

// The elements one after another, as the single writers above put them, in a
// few large items. ERR_WRITING_FILE as for one item; the rest is then skipped.
void WriteUShorts3ds(std::span<const uint16_t> values);
void WriteULongs3ds(std::span<const uint32_t> values);
void WritePoints3ds(std::span<const Point3ds> points);
void WriteTexVerts3ds(std::span<const TexVert3ds> texVerts);
void WriteFaces3ds(std::span<const Face3ds> faces);

// --- Chunk framing -----------------------------------------------------------

inline constexpr uint32_t kChunkHeaderSize3ds = 6;

// Tag (u16) and length (u32): six bytes.
void WriteChunkHeader3ds(uint16_t tag, uint32_t length);
// Writes end - start at start + 2, then moves to end. A length field still in
// the pending output is patched there; one that a file open for writing has
// already sent is written in place with a positioned write, without a seek.
// ERR_WRITING_FILE when start is negative, end is before start (a position
// GetFilePosition3ds could not give), a seek fails or the write fails.
void PatchChunkLength3ds(int32_t start, int32_t end);

// --- Utilities ---------------------------------------------------------------

// A copy of the text; ERR_NO_MEM (and an empty result) when memory runs out.
std::string DupString3ds(std::string_view text);
// The text's length when it is at most limit + 1; ERR_INVALID_ARG for none,
// ERR_STRING_TOO_LONG beyond; both return 0. Looks at most limit + 2 characters.
uint32_t BoundedLength3ds(const char* text, uint32_t limit);
