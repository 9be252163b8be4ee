#pragma once

#include <functional>
#include <thread>
#include <utility>

namespace zandor::sheet {

// A thread that its owner joins on every path, an exception's included: a std::thread still
// joinable when it is destroyed ends the program. A thread that waits for word to stop gets
// that word (askToStop) before it is joined.
class JoiningThread {
 public:
  // Starts body; throws std::system_error when no thread is to be had.
  template <class Body>
  explicit JoiningThread(Body&& body, std::function<void()> askToStop = nullptr)
      : askToStop_(std::move(askToStop)), thread_(std::forward<Body>(body)) {}
  ~JoiningThread() { stop(); }
  JoiningThread(const JoiningThread&) = delete;
  JoiningThread& operator=(const JoiningThread&) = delete;

  // Waits for the thread to end by itself.
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  // Asks the thread to stop, then waits for it.
  void stop() {
    if (!thread_.joinable()) return;
    if (askToStop_) askToStop_();
    thread_.join();
  }
  // Whether the thread has not been joined yet.
  bool running() const { return thread_.joinable(); }

 private:
  std::function<void()> askToStop_;
  std::thread thread_;
};

}  // namespace zandor::sheet
