#include "Report.hpp"

#include <cstdio>
#include <string>

namespace velmorin::load {
namespace {

double Ms(std::uint64_t ns) { return static_cast<double>(ns) / 1e6; }

// Names and room come from the command line; escape what JSON requires.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

template <typename T>
std::string JsonOptional(const std::optional<T>& value) {
  if (!value) return "null";
  if constexpr (std::is_floating_point_v<T>) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return text;
  } else {
    return std::to_string(*value);
  }
}

}  // namespace

void PrintText(const Options& o, const RunResult& r) {
  const TrafficTotals& t = r.traffic;
  std::printf("velmorin-load: %u clients, %u senders x %u messages of %u bytes, window %u, ", o.clients,
              o.senders, o.messages, o.size, o.window);
  if (o.rate > 0) std::printf("open loop %.1f msg/s per sender", o.rate);
  else std::printf("closed loop");
  std::printf("%s\n", o.encrypt ? ", encrypted" : ", in clear");
  std::printf("login:     %u/%u in %.3f s = %.0f logins/s; per client p50 %.2f ms, max %.2f ms\n", r.loggedIn,
              o.clients, r.loginSeconds, r.loginsPerSecond, Ms(r.loginP50Ns), Ms(r.loginMaxNs));
  std::printf("join:      %u/%u in %.3f s%s\n", r.joined, o.clients, r.joinSeconds,
              r.roomCreated ? " (room created)" : "");
  if (r.rssBeforeKb && r.rssJoinedKb)
    std::printf("memory:    server RSS %llu kB before, %llu kB joined = %.2f kB per connection\n",
                static_cast<unsigned long long>(*r.rssBeforeKb), static_cast<unsigned long long>(*r.rssJoinedKb),
                r.rssPerConnectionKb.value_or(0));
  if (r.messagePhaseRan) {
    std::printf("messages:  %llu sent, %llu deliveries of %llu expected in %.3f s = %.0f deliveries/s (%.0f msg/s)\n",
                static_cast<unsigned long long>(t.sent), static_cast<unsigned long long>(t.deliveries),
                static_cast<unsigned long long>(t.expected), r.messageSeconds, r.deliveriesPerSecond,
                r.messagesPerSecond);
    std::printf("latency:   p50 %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms\n", Ms(r.latencyP50Ns),
                Ms(r.latencyP90Ns), Ms(r.latencyP99Ns), Ms(r.latencyMaxNs));
    std::printf("checks:    lost %llu, extra %llu, out of order %llu, timed out %llu, late %llu, "
                "wrong sender %llu, dropped %u, per receiver %llu..%llu, other runs %llu\n",
                static_cast<unsigned long long>(t.lost), static_cast<unsigned long long>(t.extra),
                static_cast<unsigned long long>(t.outOfOrder), static_cast<unsigned long long>(t.timedOut),
                static_cast<unsigned long long>(t.late), static_cast<unsigned long long>(r.wrongSender), r.dropped,
                static_cast<unsigned long long>(t.minPerReceiver), static_cast<unsigned long long>(t.maxPerReceiver),
                static_cast<unsigned long long>(r.foreign));
    if (r.serverCpuUs)
      std::printf("server:    CPU %.3f s (%.0f %% busy) = %.3f us per delivery\n", *r.serverCpuUs / 1e6,
                  r.serverBusyPercent.value_or(0), r.serverUsPerDelivery.value_or(0));
    std::printf("generator: CPU %.3f s (%.0f %% busy)\n", r.generatorCpuUs / 1e6, r.generatorBusyPercent);
  }
  if (o.encrypt)
    std::printf("encrypted: x25519-xchacha20poly1305 on every client; %llu payloads from the server did not open\n",
                static_cast<unsigned long long>(r.undecryptable));
  if (r.maxTextLength > 0 && o.size > r.maxTextLength)
    std::printf("note:      the server cuts texts to %llu bytes\n", static_cast<unsigned long long>(r.maxTextLength));
  if (r.quitUnanswered > 0) std::printf("note:      %u connections still open after quit\n", r.quitUnanswered);
  if (!r.firstFailure.empty()) std::printf("failure:   %s\n", r.firstFailure.c_str());
  std::printf("status:    %s\n", r.status.c_str());
}

void PrintJson(const Options& o, const RunResult& r) {
  const TrafficTotals& t = r.traffic;
  std::printf(
      "{\"clients\":%u,\"senders\":%u,\"messages\":%u,\"size\":%u,\"window\":%u,\"rate\":%.3f,\"room\":%s,"
      "\"encrypted\":%s,"
      "\"logged_in\":%u,\"login_failures\":%u,\"login_s\":%.6f,\"logins_per_s\":%.1f,"
      "\"login_p50_ms\":%.3f,\"login_max_ms\":%.3f,\"joined\":%u,\"join_s\":%.6f,\"room_created\":%s,"
      "\"rss_before_kb\":%s,\"rss_joined_kb\":%s,\"rss_per_conn_kb\":%s,"
      "\"sent\":%llu,\"deliveries\":%llu,\"expected\":%llu,\"lost\":%llu,\"extra\":%llu,"
      "\"out_of_order\":%llu,\"timed_out\":%llu,\"late\":%llu,\"wrong_sender\":%llu,\"dropped\":%u,"
      "\"other_runs\":%llu,\"undecryptable\":%llu,\"message_s\":%.6f,\"deliveries_per_s\":%.1f,\"msgs_per_s\":%.1f,"
      "\"latency_p50_ms\":%.3f,\"latency_p90_ms\":%.3f,\"latency_p99_ms\":%.3f,\"latency_max_ms\":%.3f,"
      "\"server_cpu_s\":%s,\"server_busy_pct\":%s,\"server_us_per_delivery\":%s,"
      "\"generator_cpu_s\":%.3f,\"generator_busy_pct\":%.1f,\"quit_unanswered\":%u,"
      "\"first_failure\":%s,\"status\":%s}\n",
      o.clients, o.senders, o.messages, o.size, o.window, o.rate, JsonString(o.room).c_str(),
      o.encrypt ? "true" : "false", r.loggedIn,
      r.loginFailures, r.loginSeconds, r.loginsPerSecond, Ms(r.loginP50Ns), Ms(r.loginMaxNs), r.joined,
      r.joinSeconds, r.roomCreated ? "true" : "false", JsonOptional(r.rssBeforeKb).c_str(),
      JsonOptional(r.rssJoinedKb).c_str(), JsonOptional(r.rssPerConnectionKb).c_str(),
      static_cast<unsigned long long>(t.sent), static_cast<unsigned long long>(t.deliveries),
      static_cast<unsigned long long>(t.expected), static_cast<unsigned long long>(t.lost),
      static_cast<unsigned long long>(t.extra), static_cast<unsigned long long>(t.outOfOrder),
      static_cast<unsigned long long>(t.timedOut), static_cast<unsigned long long>(t.late),
      static_cast<unsigned long long>(r.wrongSender), r.dropped, static_cast<unsigned long long>(r.foreign),
      static_cast<unsigned long long>(r.undecryptable),
      r.messageSeconds, r.deliveriesPerSecond, r.messagesPerSecond, Ms(r.latencyP50Ns), Ms(r.latencyP90Ns),
      Ms(r.latencyP99Ns), Ms(r.latencyMaxNs),
      r.serverCpuUs ? JsonOptional(std::optional<double>(*r.serverCpuUs / 1e6)).c_str() : "null",
      JsonOptional(r.serverBusyPercent).c_str(), JsonOptional(r.serverUsPerDelivery).c_str(),
      r.generatorCpuUs / 1e6, r.generatorBusyPercent, r.quitUnanswered, JsonString(r.firstFailure).c_str(),
      JsonString(r.status).c_str());
}

}  // namespace velmorin::load
