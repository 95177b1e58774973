#pragma once
// Component streams: the container of the image-list (.dxg) and wave-list
// (.dxw) files. A file is a resource header, the signature "TPF0" and one
// root object whose properties are (short-string name, typed value) pairs.
//
// The reader works on a byte buffer it does not own and treats it as hostile:
// every length and count is checked against the bytes left, and a read past
// the end raises EStreamError "Stream-Lesefehler" instead of touching memory
// outside the buffer. The writer appends to a byte string.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnok {

// Type byte in front of every value.
enum class TValueType : uint8_t {
    vaNull = 0, // ends a list
    vaList = 1, // begins a list (or a collection item's properties)
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5, // 10-byte float
    vaString = 6,   // length byte, characters
    vaIdent = 7,    // length byte, characters
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,  // 32-bit length, bytes
    vaSet = 11,     // identifiers ended by an empty one
    vaLString = 12, // 32-bit length, characters
    vaNil = 13,
    vaCollection = 14 // items, each begun by vaList and ended by vaNull
};

// The messages of the stream layer (8-bit Latin-1 texts).
extern const char* const kInvalidStreamFormat;  // bad resource header or signature
extern const char* const kStreamReadError;      // read past the end of the data
extern const char* const kInvalidPropertyValue; // a value type that does not fit
extern const char* const kPropertyDoesNotExist; // "%s": an unknown property name

// The resource name the image-list files carry (written upper-cased).
inline constexpr const char* kPictureCollectionResourceName = "BlitkitPictureCollection";

class TComponentReader {
  public:
    explicit TComponentReader(std::string_view data) : data_(data) {}
    // The reader keeps a view: a temporary string would leave it dangling.
    explicit TComponentReader(std::string&&) = delete;
    TComponentReader(const uint8_t* data, size_t size) : data_(reinterpret_cast<const char*>(data), size) {}

    // Resource header: byte 0xFF, 16-bit 10, zero-terminated name, 16-bit
    // flags, 32-bit size. Only the first two fields are checked; the name is
    // returned as read. Bad header: EStreamError "Ungültiges Stream-Format".
    std::string ReadResourceHeader();
    // The four bytes "TPF0"; anything else is "Ungültiges Stream-Format".
    void ReadSignature();

    // Raw reads.
    void Read(void* dest, size_t count);
    uint8_t ReadByte();
    uint16_t ReadUInt16();
    uint32_t ReadUInt32();
    std::string ReadBytes(size_t count);
    // Length byte, then that many characters.
    std::string ReadShortString();

    // Typed values.
    TValueType ReadValueType();
    TValueType PeekValueType() const;
    // True when the next byte is the list end (vaNull); does not consume it.
    bool EndOfList() const;
    // Consumes the list end; another type is "Ungültiger Eigenschaftswert".
    void ReadListEnd();
    void ReadListBegin();
    // Collection item begin: an optional 8/16/32-bit integer, then vaList.
    void ReadCollectionItemBegin();
    void ReadCollectionBegin();
    // vaInt8, vaInt16 or vaInt32.
    int32_t ReadInteger();
    // vaString or vaLString.
    std::string ReadString();
    // vaIdent.
    std::string ReadIdent();
    // vaFalse or vaTrue.
    bool ReadBoolean();
    // vaBinary: the block's bytes.
    std::string ReadBinary();
    // Skips one value of any type (lists and collections with their content).
    void SkipValue();

    size_t Position() const { return pos_; }
    size_t Size() const { return data_.size(); }
    size_t Remaining() const { return data_.size() - pos_; }
    // Moves to an absolute position; past the end is a read error.
    void Seek(size_t pos);

  private:
    void Need(size_t count) const;
    void SkipValueOfType(TValueType type, int depth);

    std::string_view data_;
    size_t pos_ = 0;
};

class TComponentWriter {
  public:
    // Writes the resource header with the name upper-cased (at most 75
    // characters) and a size field that EndResource fills in.
    void BeginResource(std::string_view name);
    // Sets the header's size field to the count of bytes written after it.
    void EndResource();
    void WriteSignature();

    void Write(const void* src, size_t count);
    void WriteByte(uint8_t b);
    void WriteUInt16(uint16_t v);
    void WriteUInt32(uint32_t v);
    // Texts above 255 characters raise EStreamError.
    void WriteShortString(std::string_view s);

    void WriteValueType(TValueType type);
    void WriteListBegin() { WriteValueType(TValueType::vaList); }
    void WriteListEnd() { WriteValueType(TValueType::vaNull); }
    void WriteCollectionBegin() { WriteValueType(TValueType::vaCollection); }
    void WritePropertyName(std::string_view name) { WriteShortString(name); }
    // The smallest of the three integer types that holds the value.
    void WriteInteger(int32_t value);
    // vaString up to 255 characters, vaLString beyond.
    void WriteString(std::string_view s);
    void WriteIdent(std::string_view s);
    void WriteBoolean(bool value);
    void WriteBinary(std::string_view bytes);

    const std::string& Data() const { return data_; }
    std::string& Data() { return data_; }

  private:
    std::string data_;
    size_t resourceSizeAt_ = std::string::npos;
};

} // namespace varnok
