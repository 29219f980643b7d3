// Faults that a test asks the server to commit on purpose: for a named operation (optionally
// only for one part number, only after the first N calls, only a limited number of times)
// answer with an exception, stall before answering, drop the connection, answer a part that is
// too short or too long, or answer with an HTTP error that carries no message.
//
// Thread-safe. A plan with no faults costs one uncontended lock per request.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tvserver {

struct Fault {
  enum class Kind { Exception, Stall, Drop, ShortPart, OversizedPart, HttpError };

  std::string operation;  // exact operation name
  Kind kind = Kind::Exception;
  std::optional<std::int32_t> partNo;        // Download_Files_Executables only: this part alone
  int afterCalls = 0;                        // leave the first N matching calls alone
  int times = -1;                            // how often to strike; -1 without end
  std::chrono::milliseconds stall{0};        // Stall: the wait before a normal answer
  std::string message = "Injected failure";  // Exception: the text the client sees
  int httpStatus = 503;                      // HttpError
  std::size_t extraBytes = 4096;             // OversizedPart: bytes beyond the requested part
};

class FaultPlan {
 public:
  void add(Fault fault);
  void clear();

  // The fault to commit for this call, if any. partNo is known only for downloads.
  std::optional<Fault> strike(const std::string& operation, std::optional<std::int32_t> partNo);

 private:
  struct Entry {
    Fault fault;
    int seen = 0;
    int struck = 0;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace tvserver
