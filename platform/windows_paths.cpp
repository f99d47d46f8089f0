#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include "windows_paths.hpp"

#include <windows.h>

#include <string_view>

namespace platform::windows {

bool full_path(const native_char* path, NativePath& full) {
    full.resize(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return false;
        const bool fits = length < full.size();
        full.resize(length);
        if (fits) return true;
    }
}

NativePath long_form(const native_char* path) {
    constexpr std::wstring_view verbatim = L"\\\\?\\";
    constexpr std::wstring_view device = L"\\\\.\\";
    constexpr std::wstring_view network = L"\\\\";
    const std::wstring_view given(path);
    NativePath full;
    if (given.starts_with(verbatim) || !full_path(path, full) || full.size() < MAX_PATH) {
        return NativePath(given);
    }
    if (full.starts_with(verbatim) || full.starts_with(device)) return full;
    if (full.starts_with(network)) return NativePath(L"\\\\?\\UNC\\") + full.substr(network.size());
    return NativePath(verbatim) + full;
}

}  // namespace platform::windows
