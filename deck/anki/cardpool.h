// Cards rendered on worker threads and handed back in the order they came, so that a package's
// cards render on every core while SQLite reads the next notes, and the deck is the same as
// when one thread renders them all.
#pragma once

#include "deck/anki/cardsides.h"
#include "deck/base/report.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace deck::anki {

// A card to render: its note's id and fields (which `input` points to once it is rendered),
// the card itself, and what it gave.
struct PooledCard {
    int64_t note = 0;
    std::vector<std::string> fields;
    CardInput input;
    Shown shown = Shown::kCard;
    std::string question, answer;
    std::string over_limit; // with Shown::kOverLimit: CardRenderer::OverLimit()
};

class CardPool {
public:
    // `workers` threads, each with a CardRenderer of `choice`; with 0 (or when no thread can be
    // started) the cards are rendered in the caller's thread as they come.
    CardPool(const FieldChoice& choice, unsigned workers);
    CardPool(const CardPool&) = delete;
    CardPool& operator=(const CardPool&) = delete;
    ~CardPool();

    // Takes each rendered card, in the order the cards were added.
    using Take = std::function<void(PooledCard& card)>;

    // A card to fill in for rendering; valid until the next call of Add or Finish.
    PooledCard& Next();
    // Queues the card Next gave, and hands `take` the rendered cards whose turn has come. What
    // a worker threw (memory that ran out) is thrown here, in the caller's thread, which
    // unwinds the import; a worker never lets it end the program.
    void Add(const Take& take);
    // Hands `take` every card still to come, and stops the workers.
    void Finish(const Take& take);

    // What became of the cards, and the problems of their templates, over all workers.
    CardTally Tally() const;
    void ReportProblems(Report& report) const;

private:
    struct Batch {
        std::vector<PooledCard> cards;
        size_t used = 0;
        size_t bytes = 0; // of the cards' fields, tags and deck names
        bool done = false;
    };

    void Work(CardRenderer* renderer);
    static void RenderBatch(CardRenderer& renderer, Batch& batch);
    // Hands on the finished batches at the front; with `wait`, waits for the first one.
    void TakeDone(const Take& take, bool wait);
    // Hands on every batch submitted, waiting for each.
    void Drain(const Take& take);
    void Submit();
    // One renderer that holds what every worker's renderer counted.
    std::unique_ptr<CardRenderer> Merged() const;

    std::vector<std::unique_ptr<CardRenderer>> renderers_; // the last one is the caller's
    std::vector<std::thread> threads_;
    std::unique_ptr<Batch> filling_;
    std::deque<std::unique_ptr<Batch>> in_order_; // submitted, oldest first
    std::deque<Batch*> to_render_;
    std::vector<std::unique_ptr<Batch>> spare_;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    bool stopping_ = false;
    std::exception_ptr failure_;   // the first that a worker threw
    bool large_in_flight_ = false; // the last batch submitted holds a card of large fields
};

} // namespace deck::anki
