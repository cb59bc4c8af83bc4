// The module's string table, its handle and LoadResourceText.
#include "module/module.h"

namespace tarvel {

namespace {

// The texts; 10500 takes the layer being made and the last layer.
const STRINGRESOURCE kStrings[] = {
    {kLayerBuildingText, "Building layer %d of %d"},
    {kBmpRowsText, "Reading BMP pixel rows"},
    {kDecodingText, "Decoding the source into %d layer(s)"},
};

// LoadStringA copies into a buffer of this many bytes, as on Windows.
constexpr int kResourceTextBytes = 1024;

char g_moduleAnchor;  // its address identifies the module

}  // namespace

HINSTANCE ModuleHandle() {
    // Registered on first use: the library has no start-up work of its own.
    static const HINSTANCE module = [] {
        const HINSTANCE handle = reinterpret_cast<HINSTANCE>(&g_moduleAnchor);
        RegisterStringTable(handle, kStrings, static_cast<int>(sizeof kStrings / sizeof *kStrings));
        return handle;
    }();
    return module;
}

std::string LoadResourceText(unsigned int id) {
    char buffer[kResourceTextBytes];
    const int n = LoadStringA(ModuleHandle(), id, buffer, kResourceTextBytes);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace tarvel
