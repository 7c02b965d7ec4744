// The field rules of a card line.
#include "cardstore/cardrules.h"

namespace cardrules {

// The unit that ended the question: a TAB opens the separator run; a CR or an LF leaves the
// answer empty.
void CardFieldReader::FinishQuestion(uint16_t unit) {
    question_[questionLength_] = 0;
    if (unit == kTab) {
        state_ = State::kSeparator;
    } else {
        answer_[0] = 0;
        state_ = State::kDone;
    }
}

bool CardFieldReader::Feed(uint16_t unit) {
    switch (state_) {
    case State::kQuestion:
        if (EndsField(unit)) {
            FinishQuestion(unit);
        } else if (questionLength_ == kFieldUnits) {
            // An over-long question: the tail up to its TAB, CR or LF is skipped, so that the
            // answer is the real one after the TABs.
            state_ = State::kQuestionTail;
        } else {
            question_[questionLength_++] = unit;
        }
        return state_ != State::kDone;
    case State::kQuestionTail:
        if (EndsField(unit)) {
            FinishQuestion(unit);
        }
        return state_ != State::kDone;
    case State::kSeparator:
        if (unit == kTab) {
            return true;
        }
        state_ = State::kAnswer;
        [[fallthrough]];
    case State::kAnswer:
        if (EndsField(unit) || answerLength_ == kFieldUnits) {
            answer_[answerLength_] = 0;
            state_ = State::kDone;
            return false;
        }
        answer_[answerLength_++] = unit;
        return true;
    case State::kDone:
        break;
    }
    return false;
}

void CardFieldReader::End() {
    if (state_ == State::kQuestion || state_ == State::kQuestionTail) {
        question_[questionLength_] = 0;
    }
    answer_[answerLength_] = 0;
    state_ = State::kDone;
}

} // namespace cardrules
