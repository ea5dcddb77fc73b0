#include "net/WinsockErrors.hpp"

#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace velmorin {
namespace {

constexpr std::pair<int, int> kErrnoMap[] = {
    {EINTR, 10004},           {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},           {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},          {ENFILE, 10024},          {EAGAIN, 10035},
    {EINPROGRESS, 10036},     {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},      {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},      {EPIPE, 10054},           {ENOBUFS, 10055},
    {ENOMEM, 10055},          {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
};

constexpr std::pair<int, int> kResolverMap[] = {
    {EAI_NONAME, 11001}, {EAI_AGAIN, 11002}, {EAI_FAIL, 11003},
    {EAI_NODATA, 11004}, {EAI_ADDRFAMILY, 11004}, {EAI_MEMORY, 10055},
    {EAI_FAMILY, 10047}, {EAI_SOCKTYPE, 10044}, {EAI_SERVICE, 10022},
};

constexpr int kFallback = 10022;

}  // namespace

int WinsockErrorOfErrno(int errnoValue) {
  for (const auto& [from, to] : kErrnoMap) {
    if (from == errnoValue) return to;
  }
  return kFallback;
}

int WinsockErrorOfResolver(int eaiValue) {
  if (eaiValue == EAI_SYSTEM) return WinsockErrorOfErrno(errno);
  for (const auto& [from, to] : kResolverMap) {
    if (from == eaiValue) return to;
  }
  return 11003;
}

const std::vector<int>& KnownWinsockErrors() {
  static const std::vector<int> numbers = [] {
    std::vector<int> all{kFallback, 11003, kErrorTimedOut, kErrorNoBufferSpace, kErrorWrongState,
                         kErrorAcceptedTwice};
    for (const auto& entry : kErrnoMap) all.push_back(entry.second);
    for (const auto& entry : kResolverMap) all.push_back(entry.second);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
  }();
  return numbers;
}

}  // namespace velmorin
