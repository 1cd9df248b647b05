// The settings file as the program reads it at start: the bytes become the
// file, a fresh store reads a few values of every kind.
#include <unistd.h>

#include <vector>

#include "FuzzCommon.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::ScratchDir() + "/fuzz.ini";
    if (!AtomicWriteFile(path, fuzz::Bytes(data, size), 0600)) return 0;
    CSettingsStore store(path);
    (void)store.GetProfileInt("Program Start", "Load Save", 1);
    (void)store.GetProfileString("Bid Dialog", "User ID", "");
    (void)store.GetProfileString("Update", "Update URL", "");
    std::vector<uint8_t> layout;
    (void)store.GetProfileBinary("List", "Layout", layout);
    // A write rewrites the file from what was read.
    store.WriteProfileInt("Program Start", "Load Save", 0);
    (void)store.GetProfileInt("Program Start", "Load Save", 1);
    // A damaged file is kept aside before that write; one copy is enough.
    unlink((path + ".damaged").c_str());
    return 0;
}
