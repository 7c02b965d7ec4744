// The field rules of a card line.
#include "cardstore/cardrules.h"

namespace cardrules {

// The unit that ended the question: a TAB opens the separator run; a CR or an LF leaves the
// answer empty.
void CardFieldReader::FinishQuestion(uint16_t unit) {
    question_[questionLength_] = 0;
    if (unit == kTab) {
        state_ = kSeparator;
    } else {
        answer_[0] = 0;
        state_ = kDone;
    }
}

// A unit of the answer, the first of them the one that ended the TAB run.
bool CardFieldReader::FeedAnswer(uint16_t unit) {
    if (EndsField(unit) || answerLength_ == kFieldUnits) {
        answer_[answerLength_] = 0;
        state_ = kDone;
        return false;
    }
    answer_[answerLength_++] = unit;
    return true;
}

bool CardFieldReader::Feed(uint16_t unit) {
    switch (state_) {
    case kQuestion:
        if (EndsField(unit)) {
            FinishQuestion(unit);
        } else if (questionLength_ == kFieldUnits) {
            // An over-long question: the tail up to its TAB, CR or LF is skipped, so that the
            // answer is the real one after the TABs.
            state_ = kQuestionTail;
        } else {
            question_[questionLength_++] = unit;
        }
        return state_ != kDone;
    case kQuestionTail:
        if (EndsField(unit)) {
            FinishQuestion(unit);
        }
        return state_ != kDone;
    case kSeparator:
        if (unit == kTab) {
            return true;
        }
        state_ = kAnswer;
        return FeedAnswer(unit);
    case kAnswer:
        return FeedAnswer(unit);
    case kDone:
        break;
    }
    return false;
}

void CardFieldReader::End() {
    if (state_ == kQuestion || state_ == kQuestionTail) {
        question_[questionLength_] = 0;
    }
    answer_[answerLength_] = 0;
    state_ = kDone;
}

} // namespace cardrules
