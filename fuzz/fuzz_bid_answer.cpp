// The bid answers: the confirmation page's classification, and the offer
// form's error text. A multiple-quantity answer would fetch the item page,
// so it is only matched, not classified.
#include "FuzzCommon.h"
#include "bidding/BidRequest.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page = fuzz::Bytes(data, size);
    const AnswerRow row = MatchAnswer(page);
    if (row.action != AnswerAction::MultipleQuantity) {
        CBidRequest request;
        request.m_strItemNumber = "1234567890";
        request.m_strUserId = "fuzzbidder";
        request.m_strMyBid = "US $12.50";
        ClassifyAnswer(page, request);
        ComposeResultUrl(request);
    }
    std::string offer = page;
    (void)OfferErrorText(offer);
    return 0;
}
