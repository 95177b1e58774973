#include "common/ComponentStream.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <algorithm>
#include <cstring>

namespace varnok {

const char* const kInvalidStreamFormat = "Ung\xFCltiges Stream-Format";
const char* const kStreamReadError = "Stream-Lesefehler";
const char* const kInvalidPropertyValue = "Ung\xFCltiger Eigenschaftswert";
const char* const kPropertyDoesNotExist = "Eigenschaft %s existiert nicht";

namespace {
// The header is read into a buffer of this size; the name starts at offset 3.
constexpr size_t kResourceHeaderBytes = 79;
constexpr size_t kMaxResourceName = 75;
// Nested lists deeper than this are not data any writer produces.
constexpr int kMaxSkipDepth = 64;
} // namespace

// ---------------------------------------------------------------- reader

void TComponentReader::Need(size_t count) const {
    if (count > data_.size() - pos_) throw EStreamError(kStreamReadError);
}

void TComponentReader::Seek(size_t pos) {
    if (pos > data_.size()) throw EStreamError(kStreamReadError);
    pos_ = pos;
}

void TComponentReader::Read(void* dest, size_t count) {
    Need(count);
    if (count > 0) std::memcpy(dest, data_.data() + pos_, count);
    pos_ += count;
}

uint8_t TComponentReader::ReadByte() {
    Need(1);
    return static_cast<uint8_t>(data_[pos_++]);
}

uint16_t TComponentReader::ReadUInt16() {
    uint8_t b[2];
    Read(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t TComponentReader::ReadUInt32() {
    uint8_t b[4];
    Read(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

std::string TComponentReader::ReadBytes(size_t count) {
    Need(count);
    std::string r(data_.substr(pos_, count));
    pos_ += count;
    return r;
}

std::string TComponentReader::ReadShortString() {
    size_t len = ReadByte();
    return ReadBytes(len);
}

std::string TComponentReader::ReadResourceHeader() {
    size_t start = pos_;
    size_t avail = std::min(kResourceHeaderBytes, data_.size() - pos_);
    const auto* p = reinterpret_cast<const uint8_t*>(data_.data() + start);
    // Missing bytes read as zero, as in a cleared header buffer.
    auto at = [&](size_t i) -> uint8_t { return i < avail ? p[i] : 0; };
    if (at(0) != 0xFF || (at(1) | (at(2) << 8)) != 10) throw EStreamError(kInvalidStreamFormat);
    size_t nameLen = 0;
    while (3 + nameLen < avail && p[3 + nameLen] != 0)
        ++nameLen;
    std::string name = nameLen > 0 ? std::string(data_.substr(start + 3, nameLen)) : std::string();
    // Continue after name, terminator, flags and size; a header that claims
    // more bytes than there are leaves the reader at the end.
    pos_ = std::min(start + nameLen + 10, data_.size());
    return name;
}

void TComponentReader::ReadSignature() {
    if (Remaining() < 4 || data_.substr(pos_, 4) != "TPF0") throw EStreamError(kInvalidStreamFormat);
    pos_ += 4;
}

TValueType TComponentReader::ReadValueType() {
    return static_cast<TValueType>(ReadByte());
}

TValueType TComponentReader::PeekValueType() const {
    Need(1);
    return static_cast<TValueType>(static_cast<uint8_t>(data_[pos_]));
}

bool TComponentReader::EndOfList() const {
    return PeekValueType() == TValueType::vaNull;
}

void TComponentReader::ReadListEnd() {
    if (ReadValueType() != TValueType::vaNull) throw EStreamError(kInvalidPropertyValue);
}

void TComponentReader::ReadListBegin() {
    if (ReadValueType() != TValueType::vaList) throw EStreamError(kInvalidPropertyValue);
}

void TComponentReader::ReadCollectionItemBegin() {
    TValueType t = PeekValueType();
    if (t == TValueType::vaInt8 || t == TValueType::vaInt16 || t == TValueType::vaInt32) ReadInteger();
    ReadListBegin();
}

void TComponentReader::ReadCollectionBegin() {
    if (ReadValueType() != TValueType::vaCollection) throw EStreamError(kInvalidPropertyValue);
}

int32_t TComponentReader::ReadInteger() {
    switch (ReadValueType()) {
    case TValueType::vaInt8:
        return static_cast<int8_t>(ReadByte());
    case TValueType::vaInt16:
        return static_cast<int16_t>(ReadUInt16());
    case TValueType::vaInt32:
        return static_cast<int32_t>(ReadUInt32());
    default:
        throw EStreamError(kInvalidPropertyValue);
    }
}

std::string TComponentReader::ReadString() {
    switch (ReadValueType()) {
    case TValueType::vaString:
        return ReadShortString();
    case TValueType::vaLString:
        return ReadBytes(ReadUInt32());
    default:
        throw EStreamError(kInvalidPropertyValue);
    }
}

std::string TComponentReader::ReadIdent() {
    if (ReadValueType() != TValueType::vaIdent) throw EStreamError(kInvalidPropertyValue);
    return ReadShortString();
}

bool TComponentReader::ReadBoolean() {
    switch (ReadValueType()) {
    case TValueType::vaFalse:
        return false;
    case TValueType::vaTrue:
        return true;
    default:
        throw EStreamError(kInvalidPropertyValue);
    }
}

std::string TComponentReader::ReadBinary() {
    if (ReadValueType() != TValueType::vaBinary) throw EStreamError(kInvalidPropertyValue);
    return ReadBytes(ReadUInt32());
}

void TComponentReader::SkipValue() {
    SkipValueOfType(ReadValueType(), 0);
}

void TComponentReader::SkipValueOfType(TValueType type, int depth) {
    if (depth > kMaxSkipDepth) throw EStreamError(kInvalidPropertyValue);
    switch (type) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
        return;
    case TValueType::vaList:
        while (!EndOfList())
            SkipValueOfType(ReadValueType(), depth + 1);
        ReadListEnd();
        return;
    case TValueType::vaInt8:
        Need(1);
        pos_ += 1;
        return;
    case TValueType::vaInt16:
        Need(2);
        pos_ += 2;
        return;
    case TValueType::vaInt32:
        Need(4);
        pos_ += 4;
        return;
    case TValueType::vaExtended:
        Need(10);
        pos_ += 10;
        return;
    case TValueType::vaString:
    case TValueType::vaIdent:
        ReadShortString();
        return;
    case TValueType::vaBinary:
    case TValueType::vaLString: {
        uint32_t n = ReadUInt32();
        Need(n);
        pos_ += n;
        return;
    }
    case TValueType::vaSet:
        while (!ReadShortString().empty()) {
        }
        return;
    case TValueType::vaCollection:
        while (!EndOfList()) {
            ReadCollectionItemBegin();
            while (!EndOfList()) {
                ReadShortString();
                SkipValueOfType(ReadValueType(), depth + 1);
            }
            ReadListEnd();
        }
        ReadListEnd();
        return;
    }
    throw EStreamError(kInvalidPropertyValue);
}

// ---------------------------------------------------------------- writer

void TComponentWriter::Write(const void* src, size_t count) {
    data_.append(static_cast<const char*>(src), count);
}

void TComponentWriter::WriteByte(uint8_t b) {
    data_.push_back(static_cast<char>(b));
}

void TComponentWriter::WriteUInt16(uint16_t v) {
    WriteByte(static_cast<uint8_t>(v));
    WriteByte(static_cast<uint8_t>(v >> 8));
}

void TComponentWriter::WriteUInt32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        WriteByte(static_cast<uint8_t>(v >> (8 * i)));
}

void TComponentWriter::BeginResource(std::string_view name) {
    if (name.size() > kMaxResourceName || name.find('\0') != std::string_view::npos)
        throw EStreamError(kInvalidStreamFormat);
    WriteByte(0xFF);
    WriteUInt16(10);
    std::string upper = UpperCase(name);
    Write(upper.data(), upper.size());
    WriteByte(0);
    WriteUInt16(0x1030);
    resourceSizeAt_ = data_.size();
    WriteUInt32(0);
}

void TComponentWriter::EndResource() {
    if (resourceSizeAt_ == std::string::npos) return;
    uint32_t size = static_cast<uint32_t>(data_.size() - resourceSizeAt_ - 4);
    for (int i = 0; i < 4; ++i)
        data_[resourceSizeAt_ + i] = static_cast<char>(size >> (8 * i));
    resourceSizeAt_ = std::string::npos;
}

void TComponentWriter::WriteSignature() {
    Write("TPF0", 4);
}

void TComponentWriter::WriteShortString(std::string_view s) {
    if (s.size() > 255) throw EStreamError(kInvalidPropertyValue);
    WriteByte(static_cast<uint8_t>(s.size()));
    Write(s.data(), s.size());
}

void TComponentWriter::WriteValueType(TValueType type) {
    WriteByte(static_cast<uint8_t>(type));
}

void TComponentWriter::WriteInteger(int32_t value) {
    if (value >= -128 && value <= 127) {
        WriteValueType(TValueType::vaInt8);
        WriteByte(static_cast<uint8_t>(value));
    } else if (value >= -32768 && value <= 32767) {
        WriteValueType(TValueType::vaInt16);
        WriteUInt16(static_cast<uint16_t>(value));
    } else {
        WriteValueType(TValueType::vaInt32);
        WriteUInt32(static_cast<uint32_t>(value));
    }
}

void TComponentWriter::WriteString(std::string_view s) {
    if (s.size() <= 255) {
        WriteValueType(TValueType::vaString);
        WriteShortString(s);
    } else {
        WriteValueType(TValueType::vaLString);
        WriteUInt32(static_cast<uint32_t>(s.size()));
        Write(s.data(), s.size());
    }
}

void TComponentWriter::WriteIdent(std::string_view s) {
    WriteValueType(TValueType::vaIdent);
    WriteShortString(s);
}

void TComponentWriter::WriteBoolean(bool value) {
    WriteValueType(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TComponentWriter::WriteBinary(std::string_view bytes) {
    WriteValueType(TValueType::vaBinary);
    WriteUInt32(static_cast<uint32_t>(bytes.size()));
    Write(bytes.data(), bytes.size());
}

} // namespace varnok
