#include "cli/ItemFormat.h"

namespace bexora::cli {

std::string EscapeValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

namespace {

void Line(std::string& out, const char* name, const std::string& value) {
    out += name;
    out += '=';
    out += EscapeValue(value);
    out += '\n';
}

void Line(std::string& out, const char* name, long long value) {
    Line(out, name, std::to_string(value));
}

}  // namespace

std::string ShownPassword(const std::string& password, bool show) {
    return show || password.empty() ? password : kMaskedPassword;
}

std::string FormatItemFields(const CItem& item, bool showPassword) {
    std::string out;
#define BEXORA_FIELD(f) Line(out, #f, item.f)
    BEXORA_FIELD(m_strItemNumber);
    BEXORA_FIELD(m_strTitle);
    BEXORA_FIELD(m_strCurrentPrice);
    BEXORA_FIELD(m_strShipping);
    BEXORA_FIELD(m_strQuantity);
    BEXORA_FIELD(m_strBidCount);
    BEXORA_FIELD(m_strTimeLeft);
    BEXORA_FIELD(m_strMyBid);
    BEXORA_FIELD(m_bHighBidder);
    BEXORA_FIELD(m_strUserId);
    Line(out, "m_strPassword", ShownPassword(item.m_strPassword, showPassword));
    BEXORA_FIELD(m_nBidQuantity);
    BEXORA_FIELD(m_tEndTime);
    BEXORA_FIELD(m_bChanged);
    BEXORA_FIELD(m_bFresh);
    BEXORA_FIELD(m_strMessages);
    BEXORA_FIELD(m_strReserved);
    BEXORA_FIELD(m_strBidGroup);
    BEXORA_FIELD(m_strMinBid);
    BEXORA_FIELD(m_bBidPending);
    BEXORA_FIELD(m_tBidTime);
    BEXORA_FIELD(m_bNotified);
    BEXORA_FIELD(m_bUpdateFailed);
    BEXORA_FIELD(m_strSeller);
    BEXORA_FIELD(m_strFeedback);
    BEXORA_FIELD(m_strPercent);
    BEXORA_FIELD(m_strNote);
#undef BEXORA_FIELD
    return out;
}

}  // namespace bexora::cli
