#include "shared/ansi_string.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

namespace nv {
namespace {

struct Header {
    std::atomic<int> refs;
    std::size_t length;
};

Header* header_of(char* data) { return reinterpret_cast<Header*>(data) - 1; }

char* allocate(std::size_t length) {
    void* block = std::malloc(sizeof(Header) + length + 1);
    if (!block) throw std::bad_alloc();
    auto* h = new (block) Header{};
    h->refs.store(1, std::memory_order_relaxed);
    h->length = length;
    char* data = reinterpret_cast<char*>(h + 1);
    data[length] = '\0';
    return data;
}

char* make(std::string_view text) {
    if (text.empty()) return nullptr;
    char* data = allocate(text.size());
    std::memcpy(data, text.data(), text.size());
    return data;
}

}  // namespace

AnsiString::AnsiString(const char* text) : data_(make(text ? std::string_view(text) : std::string_view())) {}
AnsiString::AnsiString(std::string_view text) : data_(make(text)) {}

AnsiString::AnsiString(const AnsiString& other) noexcept : data_(other.data_) {
    if (data_) header_of(data_)->refs.fetch_add(1, std::memory_order_relaxed);
}

AnsiString& AnsiString::operator=(const AnsiString& other) noexcept {
    char* incoming = other.data_;  // read first: other may be *this
    if (incoming) header_of(incoming)->refs.fetch_add(1, std::memory_order_relaxed);
    release();
    data_ = incoming;
    return *this;
}

AnsiString& AnsiString::operator=(AnsiString&& other) noexcept {
    if (this != &other) {
        release();
        data_ = other.data_;
        other.data_ = nullptr;
    }
    return *this;
}

AnsiString::~AnsiString() { release(); }

void AnsiString::release() noexcept {
    if (!data_) return;
    Header* h = header_of(data_);
    if (h->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        h->~Header();
        std::free(h);
    }
    data_ = nullptr;
}

std::size_t AnsiString::Length() const noexcept { return data_ ? header_of(data_)->length : 0; }

int AnsiString::RefCount() const noexcept {
    return data_ ? header_of(data_)->refs.load(std::memory_order_relaxed) : 0;
}

AnsiString AnsiString::UpperCase() const {
    std::string s(view());
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return AnsiString(s);
}

AnsiString operator+(const AnsiString& a, std::string_view b) {
    std::string s(a.view());
    s.append(b);
    return AnsiString(s);
}

}  // namespace nv
