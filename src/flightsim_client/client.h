#pragma once
// One client connection to the flight simulator. CClient is the transport:
// the pipe or TCP stream, the receive buffer that cuts messages out of it,
// and the send queue with one send in flight. ClientClient adds what the
// caller sees: the staging area where requests are built, the queue of
// received messages and the notification of a waiting caller.
//
// Lifetime: a connection counts one reference for itself and one for every
// started read or write; the object deletes itself when the count reaches 0,
// so a completion that runs after the caller's close still finds it alive.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "flightsim_client/client_wire.h"
#include "platform/overlapped_stream.h"

namespace kinevra::flightsim {

// Reasons a connection was closed, with the codes the caller is told.
enum CloseReason : std::int32_t {
  kCloseOrderly = 0,
  kCloseTooLarge = 1,      // E_ABORT
  kCloseTooSmall = 2,      // E_ABORT
  kCloseOutOfMemory = 3,   // E_OUTOFMEMORY
  kClosePeerClosed = 4,    // 0xC000013E
  kCloseDisconnected = 5,  // the completion status
  kCloseCancelled = 8,     // 0xC0000120
  kCloseOther = 9,         // the completion status
};

// The reason and code of a failed completion status; false for a status
// that counts as success (for a pipe, "more data follows" too).
bool closeForStatus(std::uint32_t status, bool pipe, std::int32_t* reason, std::int32_t* code);

// "\\address\pipe\port", or the simulator's own pipe on address when
// port is empty; an empty address is this machine ("."). At most 255 characters.
std::string pipeNameFor(const std::string& address, const std::string& port);

class CClient {
 public:
  enum State : std::int32_t { kNotConnected = 0, kConnected = 2 };

  explicit CClient(platform::StreamKind mode);
  virtual ~CClient();                                         // releases what the connection holds
  virtual void prepareForConnection();                        // a fresh connection on the open stream
  virtual void close(std::int32_t reason, std::int32_t code);  // closes the stream, remembering why
  virtual void deliver(ReceivedMessage&& message) {}          // one message cut out of the stream

  CClient(const CClient&) = delete;
  CClient& operator=(const CClient&) = delete;

  // Opens the stream (the pipe, or TCP over IPv6 or IPv4), then readies the
  // connection and starts receiving. False when it could not be opened.
  bool openPipe(const std::string& address, const std::string& port, std::uint32_t maxMessage);
  bool openTcp(const std::string& address, const std::string& port, bool ipv6, std::uint32_t maxMessage,
               bool noDelay);

  void addRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void release();

  // Queues a block of whole messages and starts sending when nothing is in
  // flight. A block queued while not connected is discarded.
  void queueBlock(std::unique_ptr<unsigned char[]> data, std::uint32_t length);

  // The close code when the connection was lost with a reason, else 0.
  std::int32_t lostCode();
  std::int32_t closedReason();
  std::uint32_t connectionId() const { return connectionId_; }
  platform::StreamKind mode() const { return mode_; }

  // Objects alive in the process (a closed connection lives on until its
  // last completion has run).
  static int liveCount();

  // The completion routine of every connection.
  static void onCompletion(std::uint32_t status, std::uint32_t bytes, platform::IoRecord* record);

 protected:
  // Closes the stream once; true when this call closed it.
  bool closeStream(std::int32_t reason, std::int32_t code);
  void emptySendQueue();
  bool connectedNow();

  platform::StreamKind mode_;
  platform::StreamHandle handle_ = platform::kInvalidStream;
  bool noDelay_ = false;
  std::mutex stateLock_;  // state, handle, close record, the in-flight send
  std::int32_t state_ = kNotConnected;

 private:
  struct SendBlock {
    std::unique_ptr<unsigned char[]> data;
    std::uint32_t length = 0;
  };

  bool afterOpen(std::uint32_t maxMessage);
  void postReceive();
  void onReceive(std::uint32_t status, std::uint32_t bytes);
  void onSend(std::uint32_t status);
  void startNextSend();
  void closeOnStatus(std::uint32_t status);
  static bool sinkMessage(void* self, ReceivedMessage&& message);

  std::int32_t lastError_ = 0;
  std::int32_t closeCode_ = 0;
  std::int32_t closedReason_ = 0;
  bool ipv6_ = false;
  std::uint32_t maxMessage_ = kDefaultMaxReceive;

  // Touched only by the one receive in flight (and before the first).
  ReceiveBuffer receive_;
  platform::IoRecord receiveRecord_;
  platform::IoRecord sendRecord_;

  std::mutex sendQueueLock_;
  std::deque<SendBlock> sendQueue_;
  std::size_t sendQueueBytes_ = 0;
  SendBlock sending_;         // under stateLock_
  bool sendInFlight_ = false;  // under stateLock_

  std::atomic<int> refs_{1};
  std::uint32_t connectionId_ = 0;
};

class ClientClient final : public CClient {
 public:
  explicit ClientClient(platform::StreamKind mode);
  ~ClientClient() override;
  void prepareForConnection() override;
  void close(std::int32_t reason, std::int32_t code) override;
  void deliver(ReceivedMessage&& message) override;

  void setNotification(std::uintptr_t window, std::uint32_t message, std::uintptr_t event);
  void setHostSimulatorWindow(std::uintptr_t window) { hostWindow_ = window; }
  std::uint32_t handoffId() const { return handoffId_.load(); }

  // Reserves size bytes in the staging area for a message of type and
  // writes its header: the message's place, or null with *result set (the
  // close code after a loss, or a failure).
  unsigned char* beginMessage(std::uint32_t size, std::uint32_t type, std::int32_t* result);
  // Gives the space (and the send id) of the message just begun back.
  void abandonMessage(std::uint32_t size);
  // Sends what the staging area holds as one block.
  void flush();

  // The next received message (see clientGetNextDispatch).
  std::int32_t nextDispatch(const unsigned char** data, std::uint32_t* size);
  // The caller's close.
  void closeByCaller();

  std::size_t queuedCount();

  // The process-wide list of clients.
  ClientClient* prevClient = nullptr;
  ClientClient* nextClient = nullptr;

 private:
  struct Queued {
    ReceivedMessage message;
    std::uint32_t connectionId = 0;
  };
  void notify();

  std::mutex receivedLock_;
  std::deque<Queued> received_;
  std::size_t receivedBytes_ = 0;
  ReceivedMessage handedOut_;  // the caller's thread only

  std::uintptr_t window_ = 0;
  std::uint32_t windowMessage_ = 0;
  std::uintptr_t event_ = 0;
  std::uintptr_t hostWindow_ = 0;
  std::atomic<std::uint32_t> handoffId_{0};

  std::unique_ptr<unsigned char[]> staging_;
  std::size_t stagingPos_ = 0;
  std::uint32_t sendId_ = 0;
};

}  // namespace kinevra::flightsim
