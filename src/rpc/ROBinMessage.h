// TROBinMessage: the binary message frame ("RO107") around the values of one service call.
//
// A client writes a request (InitializeRequest, the in parameters through Serializer(),
// Finalize) and reads the answer (ReadResponse: "Result" and the out parameters through the
// returned serializer). A server reads a request (ReadRequest: interface and operation names,
// the client identifier, a serializer at the first parameter) and writes a normal answer
// (InitializeResponse, values, Finalize) or a failure (WriteException, Finalize).
//
// A message carries one call at a time and is not safe for concurrent use; FreeStream releases
// its bodies after every call. Frames that cannot be decoded (short, foreign, unknown kind,
// damaged or oversized compressed bodies, wrong names) raise EROMessageError, whose text says
// what was wrong and at which offset. A failure that the server reports inside its answer is
// raised as EROServerException with the server's own text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ROExceptions.h"
#include "ROStreamSerializer.h"
#include "ROTransportChannel.h"

// A 16-byte identifier in the byte order of its in-memory form (first three groups
// little-endian), which is also its order on the wire.
struct TROGuid {
  std::array<std::uint8_t, 16> bytes{};

  // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional); EROException otherwise.
  static constexpr TROGuid Parse(std::string_view text);
  // A new random (version 4) identifier.
  static TROGuid NewRandom();
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
  std::string ToString() const;
  bool IsNull() const noexcept { return *this == TROGuid{}; }

  friend constexpr bool operator==(const TROGuid&, const TROGuid&) = default;
};

// The identifier that every message of this process sends unless told otherwise: chosen at
// random once, on first use.
const TROGuid& ROProcessClientID();

// A message frame that cannot be decoded or is not meant for this reader.
class EROMessageError : public EROException {
 public:
  using EROException::EROException;
};

// A failure that the service reported in an exception message. what() is the server's text.
class EROServerException : public EROException {
 public:
  EROServerException(std::string className, const std::string& message)
      : EROException(message), className_(std::move(className)) {}
  const std::string& ServerClassName() const noexcept { return className_; }

 private:
  std::string className_;
};

enum class TROMessageKind : std::uint8_t { Message = 0, Exception = 1 };

class TROBinMessage {
 public:
  static constexpr std::size_t kHeaderSize = 28;
  static constexpr std::size_t kDefaultMaxBodySize = std::size_t{64} << 20;
  static constexpr std::string_view kResponseSuffix = "Response";

  // A message that sends this process's client identifier.
  TROBinMessage();
  explicit TROBinMessage(const TROGuid& clientID);
  TROBinMessage(const TROBinMessage&) = delete;
  TROBinMessage& operator=(const TROBinMessage&) = delete;
  ~TROBinMessage();

  // The identifier written into every header. Reading a request replaces it with the sender's,
  // so that the answer echoes it.
  const TROGuid& ClientID() const noexcept { return clientID_; }
  void SetClientID(const TROGuid& id) noexcept { clientID_ = id; }

  // Largest decompressed body this reader accepts; a larger one is refused.
  std::size_t MaxBodySize() const noexcept { return maxBodySize_; }
  void SetMaxBodySize(std::size_t bytes) noexcept { maxBodySize_ = bytes; }

  // When set, Finalize compresses the body (size-prefixed zlib). Off by default.
  bool CompressWrites() const noexcept { return compressWrites_; }
  void SetCompressWrites(bool on) noexcept { compressWrites_ = on; }

  // ---- client side
  // Starts a request; the library name is part of the call but not of this frame. Returns the
  // writer for the in parameters, valid until FreeStream or the next Initialize call.
  TROSerializer& InitializeRequest(std::string_view libraryName, std::string_view interfaceName,
                                   std::string_view operationName);
  // Decodes the answer to the request that was initialized last. Returns the reader positioned
  // at "Result". Throws EROServerException for an exception message, EROMessageError for a
  // frame that cannot be decoded or names another interface or operation.
  TROSerializer& ReadResponse(std::vector<std::uint8_t> bytes);
  // Reads a binary value from the answer, like Reader().ReadBinary. When its bytes are the last
  // of the answer (a downloaded part), the stream takes over the received buffer, its bytes
  // moved to the front in place, so that no new memory is touched; the reader is then at its
  // end. Otherwise, and for every error, exactly what the serializer does.
  void ReadBinary(std::string_view name, std::unique_ptr<TROBinaryMemoryStream>& value);
  // Sends the finalized request over channel and decodes its answer (ReadResponse).
  TROSerializer& Dispatch(IROTransportChannel& channel);

  // ---- server side
  // Decodes a request. Returns the reader positioned at the first in parameter; the names and
  // the sender's identifier are available below. Throws EROMessageError.
  TROSerializer& ReadRequest(std::vector<std::uint8_t> bytes);
  // Starts the normal answer to the request read last (interface name, operation name with
  // "Response", the sender's identifier). Returns the writer for "Result" and the out values.
  TROSerializer& InitializeResponse();
  // Replaces whatever was being written with an exception message.
  void WriteException(std::string_view className, std::string_view message);

  // ---- both sides
  // Completes what is being written and returns the whole message, valid until FreeStream or
  // the next Initialize call.
  std::span<const std::uint8_t> Finalize();

  // Names of the call being carried (set by InitializeRequest or ReadRequest).
  const std::string& InterfaceName() const noexcept { return interfaceName_; }
  const std::string& OperationName() const noexcept { return operationName_; }
  // Whether the message read last arrived compressed.
  bool ReceivedCompressed() const noexcept { return receivedCompressed_; }

  // The reader of the message read last, or the writer of the message being written.
  TROSerializer& Reader();
  TROSerializer& Writer();

  // True while the message holds a body being written or read.
  bool HasBody() const noexcept;
  // Releases every body; the message is ready for the next call.
  void FreeStream() noexcept;

 private:
  struct Frame;
  Frame Decode(std::vector<std::uint8_t> bytes, bool expectRequest);
  TROSerializer& StartWriting(std::string_view interfaceName, std::string_view messageName);
  void StartReading(std::vector<std::uint8_t> body, std::size_t valuesOffset);

  TROGuid clientID_;
  std::size_t maxBodySize_ = kDefaultMaxBodySize;
  bool compressWrites_ = false;
  bool finalized_ = false;
  bool receivedCompressed_ = false;
  std::string interfaceName_;
  std::string operationName_;
  std::vector<std::uint8_t> output_;
  std::optional<TROStreamSerializer> writer_;
  std::vector<std::uint8_t> input_;
  std::size_t valuesOffset_ = 0;  // where the reader's span starts in input_
  std::optional<TROStreamSerializer> reader_;
};

// ---- TROGuid::Parse, constexpr so that interface identifiers are compile-time constants.
constexpr TROGuid TROGuid::Parse(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    throw EROException("Invalid GUID format");
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw EROException("Invalid GUID format");
  };
  std::array<std::uint8_t, 16> big{};  // the digits in reading order
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    const int value = hex(text[i]) * 16 + hex(text[i + 1]);
    big[n++] = static_cast<std::uint8_t>(value);
    ++i;
  }
  TROGuid g;
  // Data1 (4 bytes), Data2 and Data3 (2 bytes each) are stored little-endian.
  constexpr std::array<std::size_t, 16> order = {3, 2, 1,  0,  5,  4,  7,  6,
                                                 8, 9, 10, 11, 12, 13, 14, 15};
  for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = big[order[i]];
  return g;
}
