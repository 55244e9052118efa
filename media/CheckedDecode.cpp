// SPDX-License-Identifier: BSD-2-Clause
#include "CheckedDecode.h"

#include "FrameLayout.h"

DecodeOutcome DecodeCheckedFrame(CodecSession& session, const uint8_t* coded, uint32_t size, uint8_t* picture,
                                 size_t lineStride, std::string& problem)
{
    problem = ParseFrameLayout(coded, size).problem;
    if (!problem.empty())
        return DecodeOutcome::DAMAGED;
    if (HasUncodedPixels(session))
        FillBlack(*session.layout, session.width, session.height, picture, lineStride);
    const DecodeOutcome outcome = DecodePicture(session, coded, size, picture, lineStride);
    if (outcome != DecodeOutcome::REFUSED)
        FillUncodedLine(session, picture, lineStride);
    if (outcome == DecodeOutcome::DAMAGED)
        problem = "its coded blocks are damaged";
    else if (outcome == DecodeOutcome::REFUSED)
        problem = "the codec refused it";
    return outcome;
}
