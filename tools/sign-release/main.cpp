// sign-release: the maker's tool that signs an update folder.
//
//   sign-release keygen KEYFILE            a new Ed25519 key (PEM, mode 0600);
//                                          prints its public key
//   sign-release pubkey KEYFILE            prints the public key (Base64), the
//                                          value the program carries built in
//   sign-release sign KEYFILE FOLDER [--files DIR]
//                                          adds the checksum lines of the files
//                                          named in FOLDER/update.txt (read from
//                                          DIR, FOLDER by default) and writes
//                                          FOLDER/update.txt.sig; a
//                                          FOLDER/site.profile is checked and
//                                          signed as FOLDER/site.profile.sig

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "ReleaseSigning.h"
#include "base/AtomicFile.h"
#include "site/SiteProfile.h"
#include "update/ProfileUpdate.h"
#include "update/UpdateCheck.h"

namespace {

using namespace bexora;

int Usage() {
    std::cerr << "Usage: sign-release keygen KEYFILE\n"
                 "       sign-release pubkey KEYFILE\n"
                 "       sign-release sign KEYFILE FOLDER [--files DIR]\n";
    return 2;
}

int Fail(const std::string& text) {
    std::cerr << "sign-release: " << text << "\n";
    return 1;
}

bool ReadKey(const std::string& path, std::string& pem) {
    return ReadWholeFile(path, pem) && !release::PublicKeyOf(pem).empty();
}

// update.txt up to its last file name (old checksum lines dropped), lines
// ending in a line feed only.
std::string NamesPart(const std::string& text, size_t names) {
    std::string out;
    size_t kept = 0, pos = 0;
    while (pos < text.size() && kept < 5 + names) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) ++kept;
        out += line + "\n";
        pos = end + 1;
    }
    return out;
}

// The site profile beside update.txt, if there is one: its text, or a
// failure for one the program would refuse (a broken profile must not reach
// the users signed).
int ReadProfile(const std::string& folder, std::string& text, CSiteProfile& profile) {
    const std::string path = folder + "/" + kProfileFileName;
    std::string error;
    if (access(path.c_str(), F_OK) != 0) return 0;
    if (!ReadRegularFile(path, text, kMaxProfileBytes, &error)) return Fail(error);
    if (!ParseSiteProfile(text, profile, error)) return Fail(path + ": " + error);
    return 0;
}

int SignFolder(const std::string& keyFile, const std::string& folder, const std::string& filesDir) {
    std::string pem, text;
    if (!ReadKey(keyFile, pem)) return Fail(keyFile + " is not an Ed25519 private key");
    if (!ReadWholeFile(folder + "/update.txt", text)) return Fail("cannot read " + folder + "/update.txt");
    std::string profileText;
    CSiteProfile profile;
    if (int failed = ReadProfile(folder, profileText, profile)) return failed;
    CUpdateInstructions in = ParseUpdateInstructions(text);
    if (!in.m_bValid || in.m_nFiles < 0 || in.m_files.size() != static_cast<size_t>(in.m_nFiles))
        return Fail(folder + "/update.txt does not name as many files as it says");
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : in.m_files) {
        std::string content;
        if (!ReadWholeFile(filesDir + "/" + name, content)) return Fail("cannot read " + filesDir + "/" + name);
        files.emplace_back(name, std::move(content));
    }
    const std::string signedText = NamesPart(text, files.size()) + release::ChecksumLines(files);
    const std::string signature = release::Sign(pem, signedText);
    if (signature.empty()) return Fail("signing failed");
    if (!AtomicWriteFile(folder + "/update.txt", signedText, 0644) ||
        !AtomicWriteFile(folder + "/update.txt.sig", signature + "\n", 0644))
        return Fail("cannot write into " + folder);
    std::cout << "Signed " << folder << "/update.txt: version " << in.m_strVersion << ", " << files.size()
              << " file(s)\n";
    if (profileText.empty()) return 0;
    const std::string path = folder + "/" + kProfileFileName;
    if (!AtomicWriteFile(path + ".sig", release::Sign(pem, profileText) + "\n", 0644))
        return Fail("cannot write into " + folder);
    std::cout << "Signed " << path << ": \"" << profile.Name() << "\" version " << profile.Version()
              << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 2 && a[0] == "keygen") {
        const std::string pem = release::GenerateKeyPem();
        if (pem.empty()) return Fail("cannot make a key");
        // The private key must not be readable by anyone else, not even for
        // a moment: the file is made with mode 0600 and never replaced.
        int fd = open(a[1].c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return Fail("cannot create " + a[1] + " (it must not exist yet)");
        bool ok = write(fd, pem.data(), pem.size()) == static_cast<ssize_t>(pem.size());
        ok = close(fd) == 0 && ok;
        if (!ok) return Fail("cannot write " + a[1]);
        std::cout << release::PublicKeyOf(pem) << "\n";
        return 0;
    }
    if (a.size() == 2 && a[0] == "pubkey") {
        std::string pem;
        if (!ReadKey(a[1], pem)) return Fail(a[1] + " is not an Ed25519 private key");
        std::cout << release::PublicKeyOf(pem) << "\n";
        return 0;
    }
    if ((a.size() == 3 || a.size() == 5) && a[0] == "sign") {
        std::string files = a[2];
        if (a.size() == 5) {
            if (a[3] != "--files") return Usage();
            files = a[4];
        }
        return SignFolder(a[1], a[2], files);
    }
    return Usage();
}
