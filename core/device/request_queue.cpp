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
    for (Request* r : waiting_)
        delete r;
}

void RequestQueue::enqueue(Request* request, int client) {
    request->setParent(this);
    request->client_ = client;
    waiting_.push_back(request);
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

void RequestQueue::drop(int client) {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if ((*it)->client() == client) {
            Request* r = *it;
            it = waiting_.erase(it);
            r->finish(RequestError::Cancelled);
            r->deleteLater();
        } else {
            ++it;
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
        const int output = r.output.toInt();
        if (output >= 1 && output <= 8)
            emit routingReported(output, sw_.routing().input(output));
    } else if (r.kind == Kind::IrRoutingReport) {
        if (const auto output = ir::reportedOutput(r.output))
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
        auto it = std::find_if(waiting_.begin(), waiting_.end(),
                               [this](const Request* r) { return mayGo(*r); });
        if (it == waiting_.end())
            break;
        Request* r = *it;
        waiting_.erase(it);
        current_ = r;
        connect(r, &Request::finished, this, &RequestQueue::onFinished);
        // A request that ends while it starts (nothing to wait for, or
        // nothing written) leaves the line at once, through onFinished().
        r->start(sw_, platform_.createTimer(r));
    }
    pumping_ = false;
    if (!current_ && std::none_of(waiting_.begin(), waiting_.end(),
                                  [this](const Request* r) { return mayGo(*r); }))
        emit idle();
}

} // namespace device
