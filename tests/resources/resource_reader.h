// Reads the test program's own resources the way the loader does: by type,
// identifier and language 1033, from the module's resource section.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

struct ResourceView {
    const uint8_t *Data = nullptr;
    DWORD Size = 0;
};

inline ResourceView FindOwnResource(LPCSTR type, int id)
{
    ResourceView view;
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found)
        return view;
    HGLOBAL loaded = LoadResource(module, found);
    view.Data = loaded ? static_cast<const uint8_t *>(LockResource(loaded)) : nullptr;
    view.Size = view.Data ? SizeofResource(module, found) : 0;
    return view;
}

inline uint16_t Read16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t Read32(const uint8_t *p) { return (uint32_t)Read16(p) | (uint32_t)Read16(p + 2) << 16; }

// A zero-terminated UTF-16 string of ASCII text, as templates and version blocks hold them.
inline std::string ReadWide(const uint8_t *p, size_t *bytes = nullptr)
{
    std::string text;
    size_t i = 0;
    for (; Read16(p + i) != 0; i += 2)
        text.push_back((char)Read16(p + i));
    if (bytes)
        *bytes = i + 2;
    return text;
}
