// `kestrel7 read` over HART-IP by TCP on the loopback interface against a peer that floods every
// session with Publish messages, for a minute of wall time: the resident memory of the process
// (sampled each 100 ms, and its peak), and the readings the CSV got, period by period.
// Two peers, each letting identification through and flooding from the first reading on:
// "steady" floods every later session from its start, so that every reply lies behind the flood;
// "after" answers each request at once and floods after it.
// Run: build/bench/bench/hart_ip_flood_bench [steady|after] [SECONDS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/read_command.h"
#include "hart/transmitter_model.h"
#include "tests/support/model_answerer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Message(std::uint8_t type, std::uint8_t id, std::uint16_t sequence, const Bytes& body) {
  const std::size_t size = 8 + body.size();
  Bytes out{1, type, id, 0, static_cast<std::uint8_t>(sequence >> 8),
            static_cast<std::uint8_t>(sequence), static_cast<std::uint8_t>(size >> 8),
            static_cast<std::uint8_t>(size)};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

long ResidentKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

class FloodingPeer {
 public:
  FloodingPeer(bool steady, hart::TransmitterModel model) : steady_(steady), transmitter_(model) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 8);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~FloodingPeer() {
    stop_ = true;
    acceptor_.join();
    for (auto& t : connections_) t.join();
    ::close(fd_);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  long Sessions() const { return sessions_; }
  long long FloodBytes() const { return floodBytes_; }

 private:
  void Accept() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) connections_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  void Serve(int fd) {
    std::mutex sending;
    std::atomic<bool> flooding{false};
    std::atomic<bool> gone{false};
    auto send = [&](const Bytes& bytes) {
      const std::lock_guard lock(sending);
      std::size_t at = 0;
      while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) {
          gone = true;
          return;
        }
        at += static_cast<std::size_t>(n);
      }
    };
    // Publications of a burst frame (command 3), sent in chunks as fast as the peer takes them.
    std::thread flood([&] {
      Bytes chunk;
      const Bytes burst{0x81, 0x40 | 42, 7, 0x12, 0x34, 0x56, 3, 11, 0, 0,
                        0x41, 0x08, 0, 0, 12, 0x42, 0xF6, 0x80, 0, 0x00};
      while (chunk.size() < 32 * 1024) {
        const Bytes m = Message(2, 3, 0, burst);
        chunk.insert(chunk.end(), m.begin(), m.end());
      }
      while (!stop_ && !gone) {
        if (!flooding) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
          continue;
        }
        send(chunk);
        floodBytes_ += static_cast<long long>(chunk.size());
      }
    });
    Bytes inbound;
    std::uint8_t buffer[4096];
    while (!stop_ && !gone) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      inbound.insert(inbound.end(), buffer, buffer + n);
      while (inbound.size() >= 8) {
        const std::size_t size = static_cast<std::size_t>(inbound[6] << 8 | inbound[7]);
        if (size < 8 || inbound.size() < size) break;
        const Bytes m(inbound.begin(), inbound.begin() + static_cast<std::ptrdiff_t>(size));
        inbound.erase(inbound.begin(), inbound.begin() + static_cast<std::ptrdiff_t>(size));
        const std::uint16_t sequence = static_cast<std::uint16_t>(m[4] << 8 | m[5]);
        const Bytes body(m.begin() + 8, m.end());
        switch (m[2]) {
          case 0:  // Session Initiate
            ++sessions_;
            send(Message(1, 0, sequence, body));
            if (steady_ && readingsBegun_) flooding = true;
            break;
          case 3: {  // pass-through
            Bytes frame;
            {
              const std::lock_guard lock(transmitterMutex_);
              frame = transmitter_.Answer(body);
            }
            send(Message(1, 3, sequence, frame));
            // Identification goes through; the readings meet the flood.
            if (body.size() > 6 && body[0] == 0x82 && body[6] == 3) {
              readingsBegun_ = true;
              flooding = true;
            }
            break;
          }
          default:
            send(Message(1, m[2], sequence, {}));
            break;
        }
      }
    }
    gone = true;
    flood.join();
    ::close(fd);
  }

  bool steady_;
  std::mutex transmitterMutex_;
  testhart::ModelAnswerer transmitter_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> readingsBegun_{false};
  std::atomic<long> sessions_{0};
  std::atomic<long long> floodBytes_{0};
  std::thread acceptor_;
  std::vector<std::thread> connections_;
};

}  // namespace

int main(int argc, char** argv) {
  const bool steady = argc < 2 || std::string(argv[1]) != "after";
  const int seconds = argc >= 3 ? std::atoi(argv[2]) : 60;
  hart::TransmitterModel model = testhart::TestModel();
  FloodingPeer peer(steady, model);

  std::atomic<bool> done{false};
  std::atomic<long> peakKb{0};
  std::thread sampler([&] {
    while (!done) {
      peakKb = std::max(peakKb.load(), ResidentKb("VmRSS:"));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });

  const std::string csv = "/tmp/k7_flood_bench.csv";
  ReadArgs args;
  args.hartIp = peer.Address();
  args.tcp = true;
  args.durationMs = seconds * 1000LL;
  args.csv = csv;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const auto start = std::chrono::steady_clock::now();
  const int status = RunRead(args, out, err);
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  done = true;
  sampler.join();

  std::ifstream in(csv);
  std::string line;
  std::getline(in, line);  // the header
  long lines = 0;
  long readings = 0;
  while (std::getline(in, line)) {
    ++lines;
    if (line.find(",,") == std::string::npos) ++readings;
  }
  std::rewind(out);
  char summary[512] = {};
  std::fgets(summary, sizeof summary, out);
  std::printf("peer: %s, %d s of readings at 400 ms (%.1f s in all, identification included)\n",
              steady ? "steady flood" : "flood after each reply", seconds, took);
  std::printf("exit status %d; CSV lines %ld (periods in the run: %d), readings %ld\n", status,
              lines, seconds * 1000 / 400, readings);
  std::printf("summary: %s", summary);
  std::printf("sessions opened %ld, flood sent %.1f MB\n", peer.Sessions(),
              static_cast<double>(peer.FloodBytes()) / 1e6);
  std::printf("resident memory: peak sampled %.1f MB, high-water mark %.1f MB\n", peakKb / 1024.0,
              ResidentKb("VmHWM:") / 1024.0);
  std::fclose(out);
  std::fclose(err);
  std::remove(csv.c_str());
  return 0;
}
