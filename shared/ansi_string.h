// Reference-counted 8-bit string shared by the launcher and the libraries it
// loads. A value is one pointer: null for the empty string, otherwise the
// first character of a block whose header (reference count, length) sits just
// before it. Records that cross a library boundary (WordingStruct,
// VIDPIDINFO) are plain arrays of these pointers, so both sides must agree on
// this layout and release through the same allocator (the process's malloc).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nv {

class AnsiString {
public:
    AnsiString() noexcept = default;
    AnsiString(const char* text);           // NOLINT: implicit, as the string type it stands for
    AnsiString(std::string_view text);      // NOLINT
    AnsiString(const std::string& text) : AnsiString(std::string_view(text)) {}  // NOLINT
    AnsiString(const AnsiString& other) noexcept;
    AnsiString(AnsiString&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    AnsiString& operator=(const AnsiString& other) noexcept;
    AnsiString& operator=(AnsiString&& other) noexcept;
    ~AnsiString();

    const char* c_str() const noexcept { return data_ ? data_ : ""; }
    std::size_t Length() const noexcept;
    bool IsEmpty() const noexcept { return data_ == nullptr; }
    std::string_view view() const noexcept { return {c_str(), Length()}; }
    std::string str() const { return std::string(view()); }

    // Upper-cases ASCII letters only, as the 8-bit text upper-casing of the
    // original platform does for the identifier texts.
    AnsiString UpperCase() const;

    // References held on this text's block; 0 for the empty string.
    int RefCount() const noexcept;

    friend AnsiString operator+(const AnsiString& a, std::string_view b);
    friend bool operator==(const AnsiString& a, const AnsiString& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const AnsiString& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const AnsiString& a, const char* b) noexcept { return a.view() == std::string_view(b); }

private:
    void release() noexcept;
    char* data_ = nullptr;
};

static_assert(sizeof(AnsiString) == sizeof(void*), "records crossing module boundaries rely on pointer-sized strings");

}  // namespace nv
