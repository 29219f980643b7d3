#include "ROBinMessage.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "ROZlib.h"

namespace {

constexpr std::string_view kSignature = "RO107";
constexpr std::size_t kFlagsOffset = 5;
constexpr std::size_t kKindOffset = 6;
constexpr std::size_t kClientIDOffset = 12;
constexpr std::uint8_t kFlagCompressed = 0x01;

void PutInt32(std::vector<std::uint8_t>& out, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(u >> shift));
}

void PutString(std::vector<std::uint8_t>& out, std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX))
    throw EROException("A name or text of the message is too long to be sent");
  PutInt32(out, static_cast<std::int32_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

std::uint32_t GetUInt32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutHeader(std::vector<std::uint8_t>& out, TROMessageKind kind, const TROGuid& id) {
  std::array<std::uint8_t, TROBinMessage::kHeaderSize> header{};  // flags, reserved, user data 0
  std::copy(kSignature.begin(), kSignature.end(), header.begin());
  header[kKindOffset] = static_cast<std::uint8_t>(kind);
  std::copy(id.bytes.begin(), id.bytes.end(), header.begin() + kClientIDOffset);
  out.assign(header.begin(), header.end());
}

// Reads the length-prefixed strings of a body and says where it was when something is wrong.
class BodyCursor {
 public:
  BodyCursor(std::span<const std::uint8_t> bytes, std::size_t position, std::string_view where)
      : bytes_(bytes), position_(position), where_(where) {}

  std::size_t Position() const { return position_; }
  bool AtEnd() const { return position_ >= bytes_.size(); }

  std::string ReadString(std::string_view what) {
    const std::size_t remaining = bytes_.size() - position_;
    if (remaining < 4)
      Fail("the " + std::string(what) + " at offset " + std::to_string(position_) +
           " needs a 4-byte length, " + std::to_string(remaining) + " bytes remain");
    const auto length = static_cast<std::int32_t>(GetUInt32(bytes_.data() + position_));
    if (length < 0)
      Fail("the " + std::string(what) + " at offset " + std::to_string(position_) +
           " has the negative length " + std::to_string(length));
    if (static_cast<std::size_t>(length) > remaining - 4)
      Fail("the " + std::string(what) + " at offset " + std::to_string(position_) + " claims " +
           std::to_string(length) + " bytes, " + std::to_string(remaining - 4) + " remain");
    const auto* begin = reinterpret_cast<const char*>(bytes_.data() + position_ + 4);
    position_ += 4 + static_cast<std::size_t>(length);
    return std::string(begin, static_cast<std::size_t>(length));
  }

  [[noreturn]] void Fail(const std::string& detail) const {
    throw EROMessageError("Cannot decode the " + std::string(where_) + ": " + detail);
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_;
  std::string_view where_;
};

// The two layouts of a compressed body: zlib data right after the header, or a 32-bit
// uncompressed size first. A size prefix can by chance look like a zlib header (any size
// whose low 16 bits are 0x9C78, for one), so a layout that fails is followed by the other
// before the body is declared damaged.
std::vector<std::uint8_t> InflateBody(std::span<const std::uint8_t> packed, std::size_t limit) {
  const auto direct = [&] { return ROZlib::Inflate(packed, limit); };
  const auto prefixed = [&] {
    if (packed.size() < 4) throw EROException("the body is too short for a size prefix");
    return ROZlib::Inflate(packed.subspan(4), limit, GetUInt32(packed.data()));
  };
  const bool looksDirect = packed.size() >= 2 && ROZlib::IsZlibHeader(packed[0], packed[1]);
  const bool mayBePrefixed = packed.size() >= 6 && ROZlib::IsZlibHeader(packed[4], packed[5]);
  try {
    return looksDirect ? direct() : prefixed();
  } catch (const EROException& first) {
    if (!(looksDirect && mayBePrefixed)) throw;
    try {
      return prefixed();
    } catch (const EROException&) {
      throw first;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------- TROGuid

TROGuid TROGuid::NewRandom() {
  static thread_local std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  TROGuid g;
  for (std::size_t i = 0; i < 16; i += 8) {
    const std::uint64_t value = engine();
    std::memcpy(g.bytes.data() + i, &value, 8);
  }
  g.bytes[7] = static_cast<std::uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4 (Data3)
  g.bytes[8] = static_cast<std::uint8_t>((g.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

std::string TROGuid::ToString() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  constexpr std::array<std::size_t, 16> order = {3, 2, 1,  0,  5,  4,  7,  6,
                                                 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text = "{";
  for (std::size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    const std::uint8_t b = bytes[order[i]];
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text + "}";
}

const TROGuid& ROProcessClientID() {
  static const TROGuid id = TROGuid::NewRandom();
  return id;
}

// ---------------------------------------------------------------------------- TROBinMessage

struct TROBinMessage::Frame {
  TROMessageKind kind;
  TROGuid sender;
  std::vector<std::uint8_t> body;  // the whole message, or the inflated body
  std::size_t bodyStart;           // where the body starts within it
  const char* where;               // how offsets are to be read in errors
};

TROBinMessage::TROBinMessage() : TROBinMessage(ROProcessClientID()) {}
TROBinMessage::TROBinMessage(const TROGuid& clientID) : clientID_(clientID) {}
TROBinMessage::~TROBinMessage() = default;

TROBinMessage::Frame TROBinMessage::Decode(std::vector<std::uint8_t> bytes, bool expectRequest) {
  const std::string_view start(reinterpret_cast<const char*>(bytes.data()),
                               std::min<std::size_t>(bytes.size(), kSignature.size()));
  if (start == "roroc") throw EROMessageError("Encrypted messages (\"roroc\") are not supported");
  if (start == "ROENV") throw EROMessageError("Message envelopes (\"ROENV\") are not supported");
  if (bytes.size() < kHeaderSize)
    throw EROMessageError("The message is too short: " + std::to_string(bytes.size()) +
                          " bytes, a header alone takes " + std::to_string(kHeaderSize));
  if (start != kSignature) {
    if (start.substr(0, 4) == "RO10")
      throw EROMessageError("Unsupported message version \"" + std::string(start) +
                            "\" at offset 0; this client speaks \"RO107\"");
    throw EROMessageError("The data is not a binary message: no \"RO107\" signature at offset 0");
  }
  const std::uint8_t kind = bytes[kKindOffset];
  if (kind > 1)
    throw EROMessageError("Unknown message kind " + std::to_string(kind) + " at offset " +
                          std::to_string(kKindOffset));
  if (expectRequest && kind != 0)
    throw EROMessageError("An exception message was received where a request was expected");
  TROGuid sender;
  std::copy_n(bytes.begin() + kClientIDOffset, 16, sender.bytes.begin());

  receivedCompressed_ = (bytes[kFlagsOffset] & kFlagCompressed) != 0;
  if (!receivedCompressed_)
    return Frame{static_cast<TROMessageKind>(kind), sender, std::move(bytes), kHeaderSize,
                 "message"};
  try {
    std::vector<std::uint8_t> body =
        InflateBody(std::span<const std::uint8_t>(bytes).subspan(kHeaderSize), maxBodySize_);
    return Frame{static_cast<TROMessageKind>(kind), sender, std::move(body), 0,
                 "decompressed message body"};
  } catch (const EROException& e) {
    throw EROMessageError("Cannot decompress the message body at offset " +
                          std::to_string(kHeaderSize) + ": " + e.what());
  }
}

void TROBinMessage::StartReading(std::vector<std::uint8_t> body, std::size_t valuesOffset) {
  reader_.reset();
  input_ = std::move(body);
  valuesOffset_ = valuesOffset;
  // The values are read straight from the received buffer: a binary value is copied once,
  // into the stream that the caller receives.
  reader_.emplace(std::span<const std::uint8_t>(input_).subspan(valuesOffset));
}

TROSerializer& TROBinMessage::StartWriting(std::string_view interfaceName,
                                           std::string_view messageName) {
  writer_.reset();
  finalized_ = false;
  PutHeader(output_, TROMessageKind::Message, clientID_);
  PutString(output_, interfaceName);
  PutString(output_, messageName);
  writer_.emplace(output_);
  return *writer_;
}

TROSerializer& TROBinMessage::InitializeRequest(std::string_view /*libraryName*/,
                                                std::string_view interfaceName,
                                                std::string_view operationName) {
  FreeStream();
  interfaceName_ = interfaceName;
  operationName_ = operationName;
  return StartWriting(interfaceName, operationName);
}

TROSerializer& TROBinMessage::ReadResponse(std::vector<std::uint8_t> bytes) {
  if (operationName_.empty())
    throw EROException("An answer was received for a message that carries no request");
  // The request has been sent; only the answer is kept from here on.
  writer_.reset();
  std::vector<std::uint8_t>().swap(output_);
  reader_.reset();
  input_.clear();

  Frame frame = Decode(std::move(bytes), false);
  BodyCursor cursor(frame.body, frame.bodyStart, frame.where);
  if (frame.kind == TROMessageKind::Exception) {
    if (cursor.AtEnd()) cursor.Fail("the exception message carries no exception class name");
    const std::string first = cursor.ReadString("exception class name");
    std::string className = first;
    std::string text;
    if (!cursor.AtEnd()) {
      text = cursor.ReadString("exception message");
      const std::string response = operationName_ + std::string(kResponseSuffix);
      // Some servers put the interface and operation names in front of the exception.
      if (text == operationName_ || text == response) {
        className = cursor.ReadString("exception class name");
        text = cursor.AtEnd() ? std::string() : cursor.ReadString("exception message");
      }
    }
    if (text.empty()) text = "The service failed with " + className + " and gave no reason";
    throw EROServerException(className, text);
  }

  const std::size_t interfaceAt = cursor.Position();
  const std::string interfaceName = cursor.ReadString("interface name");
  const std::size_t operationAt = cursor.Position();
  const std::string messageName = cursor.ReadString("operation name");
  if (interfaceName != interfaceName_)
    cursor.Fail("the answer names interface \"" + interfaceName + "\" at offset " +
                std::to_string(interfaceAt) + " where \"" + interfaceName_ + "\" was expected");
  const std::string expected = operationName_ + std::string(kResponseSuffix);
  if (messageName != expected)
    cursor.Fail("the answer names \"" + messageName + "\" at offset " +
                std::to_string(operationAt) + " where \"" + expected + "\" was expected");
  StartReading(std::move(frame.body), cursor.Position());
  return *reader_;
}

void TROBinMessage::ReadBinary(std::string_view name,
                               std::unique_ptr<TROBinaryMemoryStream>& value) {
  if (!reader_) throw EROException("The message holds no body to read");
  TROStreamSerializer& reader = *reader_;
  const std::size_t at = valuesOffset_ + reader.Position();
  const std::size_t rest = input_.size() - std::min(at, input_.size());
  if (rest >= 5 && input_[at] != 0 && GetUInt32(input_.data() + at + 1) == rest - 5) {
    // Copying a part into fresh memory costs a page fault per 4 KiB; moving it to the front of
    // the buffer it arrived in costs one pass over memory that is already there.
    std::vector<std::uint8_t> bytes = std::move(input_);
    reader_.emplace(std::span<const std::uint8_t>());  // nothing is left to read
    valuesOffset_ = 0;
    std::memmove(bytes.data(), bytes.data() + at + 5, rest - 5);
    bytes.resize(rest - 5);
    value = std::make_unique<TROBinaryMemoryStream>(std::move(bytes));
    return;
  }
  reader.ReadBinary(name, value);
}

TROSerializer& TROBinMessage::Dispatch(IROTransportChannel& channel) {
  const std::span<const std::uint8_t> request = Finalize();
  return ReadResponse(channel.Dispatch(request));
}

TROSerializer& TROBinMessage::ReadRequest(std::vector<std::uint8_t> bytes) {
  FreeStream();
  interfaceName_.clear();
  operationName_.clear();
  Frame frame = Decode(std::move(bytes), true);
  BodyCursor cursor(frame.body, frame.bodyStart, frame.where);
  std::string interfaceName = cursor.ReadString("interface name");
  if (interfaceName.empty()) cursor.Fail("the request names no interface");
  std::string operationName = cursor.ReadString("operation name");
  if (operationName.empty()) cursor.Fail("the request names no operation");
  clientID_ = frame.sender;
  interfaceName_ = std::move(interfaceName);
  operationName_ = std::move(operationName);
  StartReading(std::move(frame.body), cursor.Position());
  return *reader_;
}

TROSerializer& TROBinMessage::InitializeResponse() {
  if (operationName_.empty())
    throw EROException("An answer can only be written to a request that was read");
  return StartWriting(interfaceName_, operationName_ + std::string(kResponseSuffix));
}

void TROBinMessage::WriteException(std::string_view className, std::string_view message) {
  writer_.reset();
  finalized_ = false;
  PutHeader(output_, TROMessageKind::Exception, clientID_);
  PutString(output_, className);
  PutString(output_, message);
}

std::span<const std::uint8_t> TROBinMessage::Finalize() {
  if (output_.empty()) throw EROException("There is no message to complete");
  if (!finalized_) {
    writer_.reset();
    if (compressWrites_) {
      const std::span<const std::uint8_t> body =
          std::span<const std::uint8_t>(output_).subspan(kHeaderSize);
      if (body.size() > UINT32_MAX) throw EROException("The message body is too large to send");
      const std::vector<std::uint8_t> packed = ROZlib::Compress(body);
      std::vector<std::uint8_t> framed(output_.begin(), output_.begin() + kHeaderSize);
      framed[kFlagsOffset] |= kFlagCompressed;
      PutInt32(framed, static_cast<std::int32_t>(static_cast<std::uint32_t>(body.size())));
      framed.insert(framed.end(), packed.begin(), packed.end());
      output_ = std::move(framed);
    }
    finalized_ = true;
  }
  return output_;
}

TROSerializer& TROBinMessage::Reader() {
  if (!reader_) throw EROException("The message holds no body to read");
  return *reader_;
}

TROSerializer& TROBinMessage::Writer() {
  if (!writer_) throw EROException("The message holds no body being written");
  return *writer_;
}

bool TROBinMessage::HasBody() const noexcept {
  return reader_.has_value() || writer_.has_value() || !input_.empty() || !output_.empty();
}

void TROBinMessage::FreeStream() noexcept {
  reader_.reset();
  writer_.reset();
  std::vector<std::uint8_t>().swap(input_);
  std::vector<std::uint8_t>().swap(output_);
  finalized_ = false;
}
