#include "listview/OwnerWire.h"

namespace bexora::wire {

namespace {

void PutText(std::string& out, const std::string& text) {
    uint32_t n = static_cast<uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xff);
    out += text;
}

void PutNumber(std::string& out, uint32_t n) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xff);
}

// Reads what a message holds, in order; every read fails once one has.
class CReader {
public:
    explicit CReader(const std::string& data) : m_data(data) {}
    bool Tag(const char* tag) {
        if (m_pos + 4 > m_data.size() || m_data.compare(m_pos, 4, tag) != 0) return m_ok = false;
        m_pos += 4;
        return m_ok;
    }
    uint32_t Number() {
        if (!m_ok || m_pos + 4 > m_data.size()) return m_ok = false, 0;
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i) n |= uint32_t(uint8_t(m_data[m_pos + i])) << (8 * i);
        m_pos += 4;
        return n;
    }
    std::string Text() {
        uint32_t n = Number();
        if (!m_ok || n > m_data.size() - m_pos) return m_ok = false, std::string();
        std::string text = m_data.substr(m_pos, n);
        m_pos += n;
        return text;
    }
    bool Ok() const { return m_ok; }
    // Whether the whole message is there (false also when it is malformed).
    bool Complete() const { return m_ok && m_pos == m_data.size(); }

private:
    const std::string& m_data;
    size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace

std::string EncodeRequest(const Request& request) {
    std::string message = request.progress ? kProgressRequestTag : kRequestTag;
    PutNumber(message, static_cast<uint32_t>(request.argv.size() + 1));
    PutText(message, request.cwd);
    for (const std::string& a : request.argv) PutText(message, a);
    return message;
}

std::string EncodeAnswer(const CListAnswer& answer) {
    std::string message = kAnswerTag;
    PutText(message, answer.out);
    PutText(message, answer.err);
    PutNumber(message, static_cast<uint32_t>(answer.status));
    return message;
}

std::string EncodeProgress(const std::string& out, const std::string& progress) {
    std::string message = kProgressTag;
    PutText(message, out);
    PutText(message, progress);
    return message;
}

bool ParseRequest(const std::string& data, Request& request) {
    CReader r(data);
    request.progress = data.compare(0, 4, kProgressRequestTag) == 0;
    r.Tag(request.progress ? kProgressRequestTag : kRequestTag);
    uint32_t count = r.Number();
    if (!r.Ok() || count == 0 || count > kMaxArgs) return false;
    request.cwd = r.Text();
    request.argv.clear();
    for (uint32_t i = 1; i < count && r.Ok(); ++i) request.argv.push_back(r.Text());
    return r.Complete();
}

bool ParseAnswer(const std::string& data, CListAnswer& answer) {
    CReader r(data);
    r.Tag(kAnswerTag);
    answer.out = r.Text();
    answer.err = r.Text();
    answer.status = static_cast<int32_t>(r.Number());
    return r.Complete();
}

bool ParseProgress(const std::string& data, std::string& out, std::string& progress) {
    CReader r(data);
    r.Tag(kProgressTag);
    out = r.Text();
    progress = r.Text();
    return r.Complete();
}

size_t WholeMessage(const std::string& data, bool request) {
    if (data.size() < 4) return 0;
    size_t pos = 4;
    auto number = [&](uint32_t& n) {
        if (pos + 4 > data.size()) return false;
        n = 0;
        for (int i = 0; i < 4; ++i) n |= uint32_t(uint8_t(data[pos + i])) << (8 * i);
        pos += 4;
        return true;
    };
    uint32_t texts = 2;
    if (request && (!number(texts) || texts == 0 || texts > kMaxArgs))
        return data.size() >= 8 ? data.size() : 0;
    for (uint32_t i = 0; i < texts; ++i) {
        uint32_t n = 0;
        if (!number(n)) return 0;
        if (n > data.size() - pos) return 0;
        pos += n;
    }
    uint32_t status = 0;
    if (request || data.compare(0, 4, kProgressTag) == 0) return pos;
    return number(status) ? pos : 0;
}

}  // namespace bexora::wire
