// The values of a binary form stream, as the grid's stored properties
// keep them: a tag byte, then the data.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class TFormWriter {
public:
    std::vector<uint8_t> Bytes;
    void WriteListBegin();
    void WriteListEnd();
    void WriteInteger(int32_t v);  // the smallest integer tag that holds v
    void WriteString(const std::string& s);
    void WriteBoolean(bool v);
};

// Raises EFormStreamError on a value of another type or past the end.
class EFormStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFormReader {
public:
    explicit TFormReader(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
    void ReadListBegin();
    void ReadListEnd();
    bool EndOfList() const;  // the next value is a list end
    int32_t ReadInteger();   // any of the integer tags
    std::string ReadString();
    bool ReadBoolean();
    size_t Position = 0;

private:
    std::vector<uint8_t> Bytes;
};
