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
    for (auto& [client, requests] : waiting_)
        for (Request* r : requests)
            delete r;
}

int RequestQueue::waiting(int client) const {
    const auto it = waiting_.find(client);
    return it == waiting_.end() ? 0 : int(it->second.size());
}

void RequestQueue::enqueue(Request* request, int client) {
    request->setParent(this);
    request->client_ = client;
    std::deque<Request*>& mine = waiting_[client];
    if (mine.empty())
        turns_.push_back(client);
    mine.push_back(request);
    ++waitingCount_;
    pump();
}

void RequestQueue::hold(int client) {
    held_ = true;
    holder_ = client;
}

void RequestQueue::release(int client) {
    if (!held_ || holder_ != client)
        return;
    held_ = false;
    holder_ = 0;
    pump();
}

void RequestQueue::remove(int client) {
    waiting_.erase(client);
    turns_.erase(std::remove(turns_.begin(), turns_.end(), client), turns_.end());
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
    release(client);
    pump();
}

void RequestQueue::onReply(const protocol::Reply& r) {
    using Kind = protocol::Reply::Kind;
    if (r.kind == Kind::RoutingReport) {
        if (protocol::isOutput(r.output))
            emit routingReported(r.output, sw_.routing().input(r.output));
    } else if (r.kind == Kind::IrRoutingReport) {
        if (const auto output = ir::reportedOutput(r.irOutput))
            emit irRoutingReported(*output + 1, sw_.irRouting().input(*output) + 1);
    }
    if (!current_)
        return;
    delivering_ = true;
    current_->reply(r);
    delivering_ = false;
    pump();
}

void RequestQueue::onRaw(const QString& text) {
    if (!current_)
        return;
    delivering_ = true;
    current_->raw(text);
    delivering_ = false;
    pump();
}

void RequestQueue::onFinished() {
    auto* r = qobject_cast<Request*>(sender());
    if (!r || r != current_)
        return;
    current_ = nullptr;
    r->deleteLater();
    pump();
}

void RequestQueue::pump() {
    if (pumping_ || delivering_ || current_)
        return;
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
        connect(r, &Request::finished, this, &RequestQueue::onFinished);
        // A request that ends while it starts (nothing to wait for, or
        // nothing written) leaves the line at once, through onFinished().
        r->start(sw_, platform_.createTimer(r));
    }
    pumping_ = false;
    if (!current_ &&
        std::none_of(turns_.begin(), turns_.end(), [this](int client) { return mayGo(client); }))
        emit idle();
}

} // namespace device
