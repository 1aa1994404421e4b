#include "flightsim_client/client.h"

#include <cstring>
#include <new>

#include "platform/notification.h"
#include "platform/sockets.h"

namespace kinevra::flightsim {

namespace {

std::atomic<int> gLiveCClients{0};
std::atomic<int> gLiveClientClients{0};
std::atomic<std::uint32_t> gConnectionIds{0};

constexpr std::uint8_t kReceiveKind = 0;
constexpr std::uint8_t kSendKind = 1;

// The previous id plus one, the first being 1, and 1 again after -1.
std::uint32_t nextConnectionId() {
  std::uint32_t id = gConnectionIds.load();
  std::uint32_t next;
  do {
    next = id == 0xFFFFFFFFu ? 1 : id + 1;
  } while (!gConnectionIds.compare_exchange_weak(id, next));
  return next;
}

}  // namespace

std::string pipeNameFor(const std::string& address, const std::string& port) {
  const std::string host = address.empty() ? "." : address;
  std::string name = port.empty() ? "\\\\" + host + "\\pipe\\Microsoft Flight Simulator\\SimConnect"
                                  : "\\\\" + host + "\\pipe\\" + port;
  if (name.size() > 255) name.resize(255);
  return name;
}

bool closeForStatus(std::uint32_t status, bool pipe, std::int32_t* reason, std::int32_t* code) {
  if (status == platform::kStatusSuccess || (pipe && status == platform::kStatusBufferOverflow)) return false;
  *code = static_cast<std::int32_t>(status);
  switch (status) {
    case platform::kStatusCancelled:
      *reason = kCloseCancelled;
      break;
    case platform::kStatusRemoteDisconnect:
    case platform::kStatusPipeBroken:
    case platform::kStatusConnectionReset:
      *reason = kCloseDisconnected;
      break;
    default:
      *reason = kCloseOther;
  }
  return true;
}

// --- CClient ---

CClient::CClient(platform::StreamKind mode) : mode_(mode) {
  receiveRecord_.owner = this;
  receiveRecord_.kind = kReceiveKind;
  sendRecord_.owner = this;
  sendRecord_.kind = kSendKind;
  gLiveCClients.fetch_add(1);
}

CClient::~CClient() {
  if (handle_ != platform::kInvalidStream) platform::closeStream(handle_, mode_);
  gLiveCClients.fetch_sub(1);
}

int CClient::liveCount() { return gLiveCClients.load(); }

void CClient::release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void CClient::emptySendQueue() {
  std::lock_guard<std::mutex> g(sendQueueLock_);
  sendQueue_.clear();
  sendQueueBytes_ = 0;
}

void CClient::prepareForConnection() {
  emptySendQueue();
  {
    std::lock_guard<std::mutex> g(stateLock_);
    sending_ = SendBlock{};
    sendInFlight_ = false;
  }
  receive_.reset();
  connectionId_ = nextConnectionId();
}

bool CClient::afterOpen(std::uint32_t maxMessage) {
  if (!receive_.allocate(kReceiveChunk)) return false;
  maxMessage_ = maxMessage;
  receiveRecord_ = platform::IoRecord{};
  receiveRecord_.owner = this;
  receiveRecord_.kind = kReceiveKind;
  sendRecord_ = platform::IoRecord{};
  sendRecord_.owner = this;
  sendRecord_.kind = kSendKind;
  state_ = kNotConnected;
  prepareForConnection();  // ends connected
  postReceive();
  return true;
}

bool CClient::openPipe(const std::string& address, const std::string& port, std::uint32_t maxMessage) {
  const platform::StreamHandle h = platform::openPipe(pipeNameFor(address, port));
  if (h == platform::kInvalidStream) return false;
  if (!platform::bindCompletion(h, platform::StreamKind::Pipe, &CClient::onCompletion)) {
    platform::closeStream(h, platform::StreamKind::Pipe);
    return false;
  }
  handle_ = h;
  return afterOpen(maxMessage);
}

bool CClient::openTcp(const std::string& address, const std::string& port, bool ipv6, std::uint32_t maxMessage,
                      bool noDelay) {
  const platform::StreamHandle h = platform::openTcp(address, port, ipv6);
  if (h == platform::kInvalidStream) return false;
  if (!platform::bindCompletion(h, platform::StreamKind::Tcp, &CClient::onCompletion)) {
    platform::closeStream(h, platform::StreamKind::Tcp);
    return false;
  }
  handle_ = h;
  ipv6_ = ipv6;
  noDelay_ = noDelay;
  return afterOpen(maxMessage);
}

bool CClient::closeStream(std::int32_t reason, std::int32_t code) {
  std::lock_guard<std::mutex> g(stateLock_);
  if (handle_ == platform::kInvalidStream) return false;  // the first loss is the one reported
  if (reason != kCloseOrderly) {
    lastError_ = platform::lastSocketError();
    closeCode_ = code;
  }
  state_ = kNotConnected;
  platform::closeStream(handle_, mode_);
  handle_ = platform::kInvalidStream;
  closedReason_ = reason;
  return true;
}

void CClient::close(std::int32_t reason, std::int32_t code) { closeStream(reason, code); }

std::int32_t CClient::lostCode() {
  std::lock_guard<std::mutex> g(stateLock_);
  return closedReason_ != kCloseOrderly ? closeCode_ : 0;
}

std::int32_t CClient::closedReason() {
  std::lock_guard<std::mutex> g(stateLock_);
  return closedReason_;
}

bool CClient::connectedNow() {
  std::lock_guard<std::mutex> g(stateLock_);
  return state_ == kConnected;
}

void CClient::postReceive() {
  std::uint32_t failed = 0;
  {
    std::lock_guard<std::mutex> g(stateLock_);
    if (state_ != kConnected) return;
    addRef();
    failed = platform::startRead(handle_, mode_, receive_.data + receive_.writePos,
                                 static_cast<std::uint32_t>(receive_.capacity - receive_.writePos), &receiveRecord_);
  }
  if (failed) {
    closeOnStatus(failed);
    release();
  }
}

void CClient::closeOnStatus(std::uint32_t status) {
  std::int32_t reason = 0, code = 0;
  if (closeForStatus(status, mode_ == platform::StreamKind::Pipe, &reason, &code)) close(reason, code);
}

bool CClient::sinkMessage(void* self, ReceivedMessage&& message) {
  static_cast<CClient*>(self)->deliver(std::move(message));
  return true;
}

void CClient::onReceive(std::uint32_t status, std::uint32_t bytes) {
  std::int32_t reason = 0, code = 0;
  if (closeForStatus(status, mode_ == platform::StreamKind::Pipe, &reason, &code)) {
    close(reason, code);
    return;
  }
  if (bytes == 0) {
    close(kClosePeerClosed, static_cast<std::int32_t>(platform::kStatusLinkFailed));
    return;
  }
  const std::size_t room = receive_.capacity - receive_.writePos;
  receive_.writePos += bytes < room ? bytes : room;
  switch (extractMessages(receive_, maxMessage_, &CClient::sinkMessage, this)) {
    case ExtractResult::NeedMore:
      postReceive();
      break;
    case ExtractResult::TooLarge:
      close(kCloseTooLarge, kAbort);
      break;
    case ExtractResult::TooSmall:
      close(kCloseTooSmall, kAbort);
      break;
    case ExtractResult::OutOfMemory:
      close(kCloseOutOfMemory, kOutOfMemory);
      break;
  }
}

void CClient::queueBlock(std::unique_ptr<unsigned char[]> data, std::uint32_t length) {
  if (!connectedNow()) return;  // discarded
  {
    std::lock_guard<std::mutex> g(sendQueueLock_);
    sendQueue_.push_back(SendBlock{std::move(data), length});
    sendQueueBytes_ += length;
  }
  startNextSend();
}

void CClient::startNextSend() {
  for (;;) {
    {
      // Claim the one send in flight.
      std::lock_guard<std::mutex> g(stateLock_);
      if (sendInFlight_ || state_ != kConnected) return;
      sendInFlight_ = true;
    }
    SendBlock block;
    {
      std::lock_guard<std::mutex> g(sendQueueLock_);
      if (!sendQueue_.empty()) {
        block = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        sendQueueBytes_ -= block.length;
      }
    }
    if (!block.data) {
      {
        std::lock_guard<std::mutex> g(stateLock_);
        sendInFlight_ = false;
      }
      // A block queued while this thread held the claim was left to it.
      std::lock_guard<std::mutex> g(sendQueueLock_);
      if (sendQueue_.empty()) return;
      continue;
    }
    std::uint32_t failed = 0;
    {
      std::lock_guard<std::mutex> g(stateLock_);
      if (state_ != kConnected) {
        sendInFlight_ = false;
        return;  // the block is discarded
      }
      sending_ = std::move(block);
      addRef();
      failed = platform::startWrite(handle_, mode_, sending_.data.get(), sending_.length, &sendRecord_);
      if (failed) {
        sending_ = SendBlock{};
        sendInFlight_ = false;
      }
    }
    if (failed) {
      // The send's reference is given up, and the connection that could not
      // take it is closed as its completion would have closed it.
      closeOnStatus(failed);
      release();
    }
    return;
  }
}

void CClient::onSend(std::uint32_t status) {
  {
    std::lock_guard<std::mutex> g(stateLock_);
    sending_ = SendBlock{};
    sendInFlight_ = false;
  }
  std::int32_t reason = 0, code = 0;
  if (closeForStatus(status, mode_ == platform::StreamKind::Pipe, &reason, &code)) {
    close(reason, code);
  } else {
    startNextSend();
  }
}

void CClient::onCompletion(std::uint32_t status, std::uint32_t bytes, platform::IoRecord* record) {
  auto* self = static_cast<CClient*>(record->owner);
  if (record->kind == kReceiveKind) {
    self->onReceive(status, bytes);
  } else {
    self->onSend(status);
  }
  self->release();  // the I/O's reference
}

// --- ClientClient ---

ClientClient::ClientClient(platform::StreamKind mode)
    : CClient(mode), staging_(new unsigned char[kStagingSize]) {
  gLiveClientClients.fetch_add(1);
}

ClientClient::~ClientClient() { gLiveClientClients.fetch_sub(1); }

void ClientClient::prepareForConnection() {
  CClient::prepareForConnection();
  std::lock_guard<std::mutex> g(stateLock_);
  if (mode_ == platform::StreamKind::Tcp && noDelay_) platform::setNoDelay(handle_);
  state_ = kConnected;
}

void ClientClient::setNotification(std::uintptr_t window, std::uint32_t message, std::uintptr_t event) {
  window_ = window;
  windowMessage_ = message;
  event_ = event;
}

void ClientClient::notify() {
  if (window_ && windowMessage_) platform::postWindowMessage(window_, windowMessage_, 0, 0);
  if (event_) platform::signalEvent(event_);
}

void ClientClient::close(std::int32_t reason, std::int32_t code) {
  // A waiting caller hears of the loss; the caller's own close needs no word.
  if (closeStream(reason, code) && reason != kCloseOrderly) notify();
}

void ClientClient::deliver(ReceivedMessage&& message) {
  // Inside the simulator, its first open reply names the id of the hand-off.
  if (hostWindow_ && message.length == 308 && getU32(message.data.get() + 8) == kRecvOpen && handoffId_.load() == 0) {
    handoffId_.store(getU32(message.data.get() + 300));
  }
  {
    std::lock_guard<std::mutex> g(receivedLock_);
    receivedBytes_ += message.length;
    received_.push_back(Queued{std::move(message), connectionId()});
  }
  notify();
}

std::size_t ClientClient::queuedCount() {
  std::lock_guard<std::mutex> g(receivedLock_);
  return received_.size();
}

unsigned char* ClientClient::beginMessage(std::uint32_t size, std::uint32_t type, std::int32_t* result) {
  if (const std::int32_t lost = lostCode(); lost != 0) {
    *result = lost;
    return nullptr;
  }
  if (stagingPos_ + size > kStagingSize) flush();
  if (stagingPos_ + size > kStagingSize) {
    *result = kOutOfMemory;
    return nullptr;
  }
  unsigned char* msg = staging_.get() + stagingPos_;
  stagingPos_ += size;
  sendId_ = sendId_ == 0xFFFFFFFFu ? 1 : sendId_ + 1;
  std::memset(msg, 0, size);
  writeHeader(msg, size, type, sendId_);
  *result = kOk;
  return msg;
}

void ClientClient::abandonMessage(std::uint32_t size) {
  stagingPos_ -= size;
  sendId_ = sendId_ == 1 ? 0xFFFFFFFFu : sendId_ - 1;
}

void ClientClient::flush() {
  if (stagingPos_ == 0) return;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[stagingPos_]);
  const auto length = static_cast<std::uint32_t>(stagingPos_);
  if (block) std::memcpy(block.get(), staging_.get(), stagingPos_);
  stagingPos_ = 0;
  if (block) queueBlock(std::move(block), length);
}

std::int32_t ClientClient::nextDispatch(const unsigned char** data, std::uint32_t* size) {
  handedOut_ = ReceivedMessage{};
  if (data) *data = nullptr;
  if (size) *size = 0;
  Queued head;
  bool any = false;
  {
    std::lock_guard<std::mutex> g(receivedLock_);
    if (!received_.empty()) {
      head = std::move(received_.front());
      received_.pop_front();
      receivedBytes_ -= head.message.length;
      any = true;
    }
  }
  if (!any || head.message.length < kShortestDispatched) {
    const std::int32_t lost = lostCode();
    return lost != 0 ? lost : kFail;
  }
  handedOut_ = std::move(head.message);
  if (data) *data = handedOut_.data.get();
  if (size) *size = handedOut_.length;
  return kOk;
}

void ClientClient::closeByCaller() {
  handedOut_ = ReceivedMessage{};
  close(kCloseOrderly, 0);
  emptySendQueue();
}

}  // namespace kinevra::flightsim
