#include "core/device/request_queue.h"

#include "core/device/switcher.h"
#include "core/platform/platform.h"

#include <algorithm>

namespace device {

RequestQueue::RequestQueue(Switcher& sw, platform::Platform& platform)
    : sw_(sw), platform_(platform) {
    sw_.router().toRequests = [this](const protocol::Reply& r) { onReply(r); };
    connect(&sw_.link(), &seriallink::Connection::rawReceived, this, &RequestQueue::onRaw);
}

RequestQueue::~RequestQueue() {
    sw_.router().toRequests = nullptr;
    sw_.wire().lend(false);
    for (auto& [client, requests] : waiting_)
        for (Request* r : requests)
            delete r;
}

int RequestQueue::holder() const {
    return session_ ? session_->client() : 0;
}

int RequestQueue::waiting(int client) const {
    const auto it = waiting_.find(client);
    return it == waiting_.end() ? 0 : int(it->second.size());
}

bool RequestQueue::mayGo(int client) const {
    return !session_ || client == session_->client();
}

void RequestQueue::lend() {
    sw_.wire().lend(current_ || session_);
}

void RequestQueue::enqueue(Request* request, int client) {
    request->setParent(this);
    request->client_ = client;
    request->queue_ = this;
    std::deque<Request*>& mine = waiting_[client];
    if (mine.empty())
        turns_.push_back(client);
    mine.push_back(request);
    ++waitingCount_;
    pump();
}

void RequestQueue::hold(Request* r) {
    // A request inside a session is part of it: the line is held already.
    if (r != current_ || session_)
        return;
    session_ = r;
    current_ = nullptr;
    pump();
}

void RequestQueue::remove(int client) {
    waiting_.erase(client);
    turns_.erase(std::remove(turns_.begin(), turns_.end(), client), turns_.end());
}

void RequestQueue::cancel(Request* request) {
    if (request == current_ || request == session_)
        return request->finish(RequestError::Cancelled);
    const auto it = waiting_.find(request->client());
    if (it == waiting_.end())
        return;
    std::deque<Request*>& mine = it->second;
    const auto found = std::find(mine.begin(), mine.end(), request);
    if (found == mine.end())
        return;
    mine.erase(found);
    --waitingCount_;
    if (mine.empty())
        remove(request->client());
    request->finish(RequestError::Cancelled);
    request->deleteLater();
    pump();
}

void RequestQueue::drop(int client) {
    if (const auto it = waiting_.find(client); it != waiting_.end()) {
        const std::deque<Request*> gone = std::move(it->second);
        remove(client);
        waitingCount_ -= int(gone.size());
        for (Request* r : gone) {
            r->finish(RequestError::Cancelled);
            r->deleteLater();
        }
    }
    if (current_ && current_->client() == client)
        current_->finish(RequestError::Cancelled);
    if (session_ && session_->client() == client)
        session_->finish(RequestError::Cancelled);
    pump();
}

template <typename Hand> void RequestQueue::deliver(const Hand& hand) {
    Request* to = listener();
    if (!to)
        return;
    delivering_ = true;
    replied_ = replied_ || to == current_;
    hand(to);
    delivering_ = false;
    pump();
}

void RequestQueue::onReply(const protocol::Reply& r) {
    using Kind = protocol::Reply::Kind;
    if (r.kind == Kind::RoutingReport) {
        if (sw_.model().isOutput(r.output))
            emit routingReported(r.output, sw_.routing().input(r.output));
    } else if (r.kind == Kind::IrRoutingReport) {
        if (const auto output = ir::reportedOutput(r.irOutput);
            output && sw_.model().isIrPort(*output + 1))
            emit irRoutingReported(*output + 1, sw_.irRouting().input(*output) + 1);
    }
    deliver([&r](Request* to) { to->reply(r); });
}

void RequestQueue::onRaw(const QString& text) {
    deliver([&text](Request* to) { to->raw(text); });
}

void RequestQueue::onFinished() {
    auto* r = qobject_cast<Request*>(sender());
    if (!r)
        return;
    if (r == current_) {
        current_ = nullptr;
        if (replied_ && r->result().ok())
            emit answered(started_.nsecsElapsed());
    } else if (r == session_)
        session_ = nullptr;
    else
        return;
    r->deleteLater();
    lend();
    pump();
}

void RequestQueue::pump() {
    if (pumping_ || delivering_ || current_)
        return;
    // Nothing waits: the common case, after every line a session's
    // exchange brings.
    if (turns_.empty()) {
        if (!session_)
            emit idle();
        return;
    }
    pumping_ = true;
    while (!current_) {
        // The next client in turn that may go, the one just served only
        // when nobody else may; it goes to the back of the line, or leaves
        // it when nothing of its own waits any more.
        auto next = std::find_if(turns_.begin(), turns_.end(), [this](int client) {
            return mayGo(client) && client != lastServed_;
        });
        if (next == turns_.end())
            next = std::find_if(turns_.begin(), turns_.end(),
                                [this](int client) { return mayGo(client); });
        if (next == turns_.end())
            break;
        const int client = *next;
        lastServed_ = client;
        turns_.erase(next);
        std::deque<Request*>& mine = waiting_[client];
        Request* r = mine.front();
        mine.pop_front();
        --waitingCount_;
        if (mine.empty())
            waiting_.erase(client);
        else
            turns_.push_back(client);
        current_ = r;
        replied_ = false;
        started_.start();
        lend();
        connect(r, &Request::finished, this, &RequestQueue::onFinished);
        // A request that ends while it starts (nothing to wait for, or
        // nothing written) leaves the line at once, through onFinished().
        r->start(sw_, sw_.wire(), platform_.createTimer(r));
    }
    pumping_ = false;
    if (!current_ && !session_ &&
        std::none_of(turns_.begin(), turns_.end(), [this](int client) { return mayGo(client); }))
        emit idle();
}

} // namespace device
