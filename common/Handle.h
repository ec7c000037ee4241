// Move-only owners for Windows handles, so that every handle a procedure
// opens is closed on every path out of it.
#pragma once

#include <windows.h>

#include <utility>

namespace vantrel {

// Traits: `type`, `Invalid()` and `Close(type)`.
template <typename Traits>
class UniqueHandle {
public:
    using type = typename Traits::type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(type value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

    type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    void reset(type value = Traits::Invalid()) noexcept {
        type old = std::exchange(value_, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

private:
    type value_ = Traits::Invalid();
};

// CreateFileW and friends report failure as INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using type = HANDLE;
    static type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(type h) noexcept { ::CloseHandle(h); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

struct FindHandleTraits {
    using type = HANDLE;
    static type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(type h) noexcept { ::FindClose(h); }
};
using UniqueFind = UniqueHandle<FindHandleTraits>;

struct RegistryKeyTraits {
    using type = HKEY;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::RegCloseKey(h); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

}  // namespace vantrel
