#include "update/ProfileUpdate.h"

#include <algorithm>
#include <cerrno>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "site/SiteEndpoints.h"
#include "site/SiteProfile.h"
#include "update/Download.h"
#include "update/UpdateSignature.h"

namespace bexora {

namespace {

// A version the program can compare: digits only ("2", not "2b" or "-1").
bool WholeVersion(const CSiteProfile& p) {
    const std::string& v = p.Get("version");
    return !v.empty() && v.size() <= 9 && v.find_first_not_of("0123456789") == std::string::npos;
}

// The version of the profile delivered before, 0 when there is none that
// reads (a damaged one is replaced by any newer than the built-in one).
long DeliveredVersion() {
    std::string text, error;
    CSiteProfile p;
    if (!ReadRegularFile(UpdatedProfilePath(), text, kMaxProfileBytes, &error) ||
        !ParseSiteProfile(text, p, error) || !WholeVersion(p))
        return 0;
    return p.Version();
}

}  // namespace

CProfileUpdate CheckProfileUpdate() {
    CProfileUpdate result;
    const std::string url = site::UpdateBaseUrl() + kProfileFileName;
    // The program's own check tells the user about an address that is not https.
    if (!IsHttpsUrl(url)) return result;
    const std::string refused = "The site profile on the maker's site was not taken: ";
    std::string text, signature;
    const int code = DownloadToString(url, text, kMaxProfileBytes);
    // None published is the usual case; a site that cannot be reached is
    // told by the program's check, if at all.
    if (code == -1000 - 404 || code == -1000 - 410 || (code < 0 && code > -1000)) return result;
    if (code == -2000 - EFBIG) {
        result.m_strProblem = refused + "it is larger than 1 MB, which no profile is.";
        return result;
    }
    if (code == kDownloadNotHttps) {
        result.m_strProblem = refused + "the site sent it from an address that is not https.";
        return result;
    }
    if (code != 0) {
        result.m_strProblem = refused + DownloadStatusText(code);
        return result;
    }
    if (DownloadToString(url + ".sig", signature, 4096) != 0 ||
        !VerifyUpdateSignature(text, signature, UpdatePublicKey())) {
        result.m_strProblem =
            refused +
            "it does not carry the maker's signature (it may have been cut short or "
            "changed on its way). The profile in use stays.";
        return result;
    }
    CSiteProfile profile;
    std::string error;
    if (!ParseSiteProfile(text, profile, error)) {
        result.m_strProblem = refused + "it does not read as a profile (" + error + ").";
        return result;
    }
    if (!WholeVersion(profile)) {
        result.m_strProblem =
            refused + "its version \"" + profile.Get("version") + "\" is no whole number.";
        return result;
    }
    const long delivered = DeliveredVersion();
    const long builtin = BuiltinProfile().Version();
    const long floor = std::max(delivered, builtin);
    // The same version again is the profile the user already has.
    if (profile.Version() == floor) return result;
    if (profile.Version() < floor) {
        result.m_strProblem = refused + "it is version " + std::to_string(profile.Version()) +
                              ", older than the " +
                              (delivered >= builtin ? "one delivered before" : "built-in one") +
                              " (version " + std::to_string(floor) + ").";
        return result;
    }
    // The profile before its signature, which is kept for the record: the
    // profile is what the lists read.
    const std::string path = UpdatedProfilePath();
    MakeDirs(DirName(path), 0700);
    if (!AtomicWriteFile(path, text, 0600, &error) ||
        !AtomicWriteFile(path + ".sig", signature, 0600, &error)) {
        result.m_strProblem = "The site profile from the maker's site cannot be saved: " + error;
        return result;
    }
    result.m_bTaken = true;
    result.m_strName = profile.Name();
    result.m_nVersion = profile.Version();
    return result;
}

}  // namespace bexora
