#include "FormStream.h"

void TFormWriter::WriteListBegin() { Bytes.push_back(0x01); }
void TFormWriter::WriteListEnd() { Bytes.push_back(0x00); }

void TFormWriter::WriteInteger(int32_t v) {
    auto put = [this](uint32_t u, int n) {
        for (int i = 0; i < n; ++i) Bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    };
    if (v >= -128 && v <= 127) {
        Bytes.push_back(0x02);
        put(static_cast<uint32_t>(v), 1);
    } else if (v >= -32768 && v <= 32767) {
        Bytes.push_back(0x03);
        put(static_cast<uint32_t>(v), 2);
    } else {
        Bytes.push_back(0x04);
        put(static_cast<uint32_t>(v), 4);
    }
}

void TFormWriter::WriteString(const std::string& s) {
    if (s.size() <= 255) {
        Bytes.push_back(0x06);
        Bytes.push_back(static_cast<uint8_t>(s.size()));
    } else {
        Bytes.push_back(0x0C);
        uint32_t n = static_cast<uint32_t>(s.size());
        for (int i = 0; i < 4; ++i) Bytes.push_back(static_cast<uint8_t>(n >> (8 * i)));
    }
    Bytes.insert(Bytes.end(), s.begin(), s.end());
}

void TFormWriter::WriteBoolean(bool v) { Bytes.push_back(v ? 0x09 : 0x08); }

namespace {
[[noreturn]] void StreamError(const char* what) { throw EFormStreamError(what); }
}  // namespace

void TFormReader::ReadListBegin() {
    if (Position >= Bytes.size() || Bytes[Position] != 0x01) StreamError("list begin expected");
    ++Position;
}

void TFormReader::ReadListEnd() {
    if (Position >= Bytes.size() || Bytes[Position] != 0x00) StreamError("list end expected");
    ++Position;
}

bool TFormReader::EndOfList() const { return Position < Bytes.size() && Bytes[Position] == 0x00; }

int32_t TFormReader::ReadInteger() {
    if (Position >= Bytes.size()) StreamError("integer expected");
    int n = Bytes[Position] == 0x02 ? 1 : Bytes[Position] == 0x03 ? 2 : Bytes[Position] == 0x04 ? 4 : 0;
    if (n == 0) StreamError("integer expected");
    if (Position + 1 + n > Bytes.size()) StreamError("stream ends inside an integer");
    uint32_t u = 0;
    for (int i = 0; i < n; ++i) u |= static_cast<uint32_t>(Bytes[Position + 1 + i]) << (8 * i);
    Position += 1 + n;
    if (n == 1) return static_cast<int8_t>(u);
    if (n == 2) return static_cast<int16_t>(u);
    return static_cast<int32_t>(u);
}

std::string TFormReader::ReadString() {
    if (Position >= Bytes.size()) StreamError("string expected");
    size_t len = 0, head = 0;
    if (Bytes[Position] == 0x06 && Position + 1 < Bytes.size()) {
        len = Bytes[Position + 1];
        head = 2;
    } else if (Bytes[Position] == 0x0C && Position + 4 < Bytes.size()) {
        for (int i = 0; i < 4; ++i) len |= static_cast<size_t>(Bytes[Position + 1 + i]) << (8 * i);
        head = 5;
    } else {
        StreamError("string expected");
    }
    if (len > Bytes.size() - Position - head) StreamError("stream ends inside a string");
    std::string s(Bytes.begin() + Position + head, Bytes.begin() + Position + head + len);
    Position += head + len;
    return s;
}

bool TFormReader::ReadBoolean() {
    if (Position >= Bytes.size() || (Bytes[Position] != 0x08 && Bytes[Position] != 0x09))
        StreamError("boolean expected");
    return Bytes[Position++] == 0x09;
}
