// The card pool: batches of cards, a queue that the workers take them from, and the batches
// handed back oldest first.
#include "deck/anki/cardpool.h"

#include "deck/base/files.h"

#include <system_error>

namespace deck::anki {

namespace {

// Cards a batch holds: enough that a worker takes the lock rarely, few enough that the deck's
// writing follows closely.
constexpr size_t kBatchCards = 256;
// Batches submitted but not yet handed back, per worker, before Add waits.
constexpr size_t kBatchesInFlight = 4;
// The fields' bytes a batch holds before it is submitted, however few its cards: memory stays
// near kBatchBytes per batch in flight. A batch that reaches it alone (a card of large fields)
// is rendered while no other is, so that no two such cards take room at once.
constexpr size_t kBatchBytes = size_t{8} << 20;
// A slot's strings keep their room for the next card up to this; a larger one is freed.
constexpr size_t kKeptRoom = size_t{64} << 10;

// `text` emptied, its room kept when it is small.
void Empty(std::string* text) {
    if (text->capacity() > kKeptRoom) {
        std::string().swap(*text);
    } else {
        text->clear();
    }
}

} // namespace

CardPool::CardPool(const FieldChoice& choice, unsigned workers) {
    for (unsigned i = 0; i <= workers; ++i) {
        renderers_.push_back(std::make_unique<CardRenderer>(choice));
    }
    // The workers start with SIGINT, SIGTERM and SIGHUP held back, and keep them so: those
    // signals then always reach the calling thread, whose SignalsHeld closes the moment between
    // making a temporary file and registering it for removal. A worker that took the signal
    // there would end the program with the file left behind.
    SignalsHeld held;
    for (unsigned i = 0; i < workers; ++i) {
        try {
            threads_.emplace_back(&CardPool::Work, this, renderers_[i].get());
        } catch (const std::system_error&) {
            break; // the threads started so far do the work, or the caller alone
        }
    }
}

CardPool::~CardPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        to_render_.clear(); // left when the caller unwinds
    }
    work_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

PooledCard& CardPool::Next() {
    if (!filling_) {
        if (!spare_.empty()) {
            filling_ = std::move(spare_.back());
            spare_.pop_back();
        } else {
            filling_ = std::make_unique<Batch>();
            filling_->cards.resize(kBatchCards);
        }
        filling_->used = 0;
        filling_->bytes = 0;
        filling_->done = false;
    }
    // A slot of an earlier batch: every member back to its default, so that nothing of the
    // card it held carries over, while the strings keep their room for the next card's.
    PooledCard& card = filling_->cards[filling_->used];
    std::vector<std::string> fields = std::move(card.fields);
    std::string tags = std::move(card.input.tags), deck = std::move(card.input.deck);
    std::string question = std::move(card.question), answer = std::move(card.answer);
    card = PooledCard{};
    for (std::string* text : {&tags, &deck, &question, &answer}) {
        Empty(text);
    }
    for (std::string& field : fields) {
        Empty(&field);
    }
    card.fields = std::move(fields);
    card.input.tags = std::move(tags);
    card.input.deck = std::move(deck);
    card.question = std::move(question);
    card.answer = std::move(answer);
    return card;
}

void CardPool::Add(const Take& take) {
    if (large_in_flight_) {
        // The card of large fields before this one is finished before another is queued.
        large_in_flight_ = false;
        Drain(take);
    }
    const PooledCard& card = filling_->cards[filling_->used];
    size_t bytes = card.input.tags.size() + card.input.deck.size();
    for (const std::string& field : card.fields) {
        bytes += field.size();
    }
    filling_->bytes += bytes;
    if (++filling_->used < kBatchCards && filling_->bytes < kBatchBytes) {
        return;
    }
    if (bytes >= kBatchBytes) {
        // A card of large fields: the batches before it are finished first, and it renders
        // while the reader moves on to the next note (which lets go of this one's row).
        Drain(take);
        Submit();
        large_in_flight_ = true;
        return;
    }
    Submit();
    TakeDone(take, in_order_.size() > kBatchesInFlight * threads_.size());
}

void CardPool::Finish(const Take& take) {
    if (filling_ && filling_->used > 0) {
        Submit();
    }
    Drain(take);
}

void CardPool::Submit() {
    Batch* batch = filling_.get();
    if (threads_.empty()) {
        RenderBatch(*renderers_.back(), *batch);
        batch->done = true;
        in_order_.push_back(std::move(filling_));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        in_order_.push_back(std::move(filling_));
        to_render_.push_back(batch);
    }
    work_.notify_one();
}

void CardPool::Drain(const Take& take) {
    while (!in_order_.empty()) {
        TakeDone(take, true);
    }
}

void CardPool::TakeDone(const Take& take, bool wait) {
    for (;;) {
        std::unique_ptr<Batch> batch;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (in_order_.empty()) {
                return;
            }
            if (wait) {
                done_.wait(lock, [&] { return in_order_.front()->done; });
                wait = false;
            }
            if (failure_) {
                std::rethrow_exception(failure_);
            }
            if (!in_order_.front()->done) {
                return;
            }
            batch = std::move(in_order_.front());
            in_order_.pop_front();
        }
        for (size_t i = 0; i < batch->used; ++i) {
            take(batch->cards[i]);
        }
        spare_.push_back(std::move(batch));
    }
}

void CardPool::Work(CardRenderer* renderer) {
    for (;;) {
        Batch* batch = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [&] { return stopping_ || !to_render_.empty(); });
            if (to_render_.empty()) {
                return;
            }
            batch = to_render_.front();
            to_render_.pop_front();
        }
        std::exception_ptr failed;
        try {
            RenderBatch(*renderer, *batch);
        } catch (...) {
            failed = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch->done = true;
            if (failed && !failure_) {
                failure_ = failed;
            }
        }
        done_.notify_one();
    }
}

void CardPool::RenderBatch(CardRenderer& renderer, Batch& batch) {
    for (size_t i = 0; i < batch.used; ++i) {
        PooledCard& card = batch.cards[i];
        card.input.fields = &card.fields;
        card.shown = renderer.Render(card.input, &card.question, &card.answer);
        if (card.shown == Shown::kOverLimit) {
            card.over_limit = renderer.OverLimit();
        }
    }
}

std::unique_ptr<CardRenderer> CardPool::Merged() const {
    auto all = std::make_unique<CardRenderer>(FieldChoice{});
    for (const auto& renderer : renderers_) {
        all->Merge(*renderer);
    }
    return all;
}

CardTally CardPool::Tally() const {
    return Merged()->Tally();
}

void CardPool::ReportProblems(Report& report) const {
    Merged()->ReportProblems(report);
}

} // namespace deck::anki
