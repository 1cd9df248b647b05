#pragma once
// The list owner's wire: each message is a 4-byte tag, then length-prefixed
// texts (32-bit little-endian lengths). A request is "BXR1", a count, the
// client's working folder and the command line ("BXR2": the same, from a
// client that takes progress messages); an answer is "BXA1", the command's
// standard output, its standard error and its exit status; a progress
// message is "BXP1", output so far and the progress line. Readers take any
// bytes a peer sends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "listview/ListOwner.h"

namespace bexora::wire {

constexpr char kRequestTag[] = "BXR1";
constexpr char kProgressRequestTag[] = "BXR2";
constexpr char kAnswerTag[] = "BXA1";
constexpr char kProgressTag[] = "BXP1";
constexpr uint32_t kMaxText = 64u << 20;  // a list's output, with room to spare
constexpr uint32_t kMaxArgs = 4096;

struct Request {
    std::string cwd;
    std::vector<std::string> argv;
    bool progress = false;  // the client takes progress messages
};

std::string EncodeRequest(const Request& request);
std::string EncodeAnswer(const CListAnswer& answer);
std::string EncodeProgress(const std::string& out, const std::string& progress);

// The length of the whole message data starts with, 0 while it is not
// whole, walking the lengths alone (linear in the bytes however they come).
// A request that is malformed past its count counts as whole (its parse
// fails).
size_t WholeMessage(const std::string& data, bool request);
// Exactly one message each, all of data; false when it is not one.
bool ParseRequest(const std::string& data, Request& request);
bool ParseAnswer(const std::string& data, CListAnswer& answer);
bool ParseProgress(const std::string& data, std::string& out, std::string& progress);

}  // namespace bexora::wire
