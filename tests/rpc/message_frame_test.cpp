// The binary message frame against hand-made bytes: requests, answers, exceptions, both
// compressed layouts and every refusal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "FrameBytes.h"
#include "ROBinMessage.h"

using frame_bytes::Builder;
using frame_bytes::Bytes;
using frame_bytes::kClientID;
using testing::HasSubstr;

namespace {

const TROGuid kID = TROGuid::Parse("{00112233-4455-6677-8899-AABBCCDDEEFF}");

// A client message that has sent the request UpdaterService.Echo.
std::unique_ptr<TROBinMessage> EchoCall() {
  auto m = std::make_unique<TROBinMessage>(kID);
  m->InitializeRequest("UpdaterServiceLibrary", "UpdaterService", "Echo");
  m->Finalize();
  return m;
}

Bytes EchoAnswer(bool result) {
  return Builder().Header().Str("UpdaterService").Str("EchoResponse").Bool(result).b;
}

std::string DecodeError(const Bytes& answer) {
  auto m = EchoCall();
  try {
    m->ReadResponse(answer);
  } catch (const EROMessageError& e) {
    return e.what();
  }
  return "(decoded)";
}

}  // namespace

TEST(MessageGuid, ParsesAndPrintsInWindowsByteOrder) {
  EXPECT_EQ(Bytes(kID.bytes.begin(), kID.bytes.end()), kClientID);
  EXPECT_EQ(kID.ToString(), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(TROGuid::Parse("a9793762-3cdf-476e-ad9f-a5bc5e9bf218").ToString(),
            "{A9793762-3CDF-476E-AD9F-A5BC5E9BF218}");
  for (const char* bad :
       {"", "{A9793762-3CDF-476E-AD9F-A5BC5E9BF21}", "{A9793762+3CDF-476E-AD9F-A5BC5E9BF218}",
        "{G9793762-3CDF-476E-AD9F-A5BC5E9BF218}"})
    EXPECT_THROW(TROGuid::Parse(bad), EROException) << bad;
}

TEST(MessageGuid, ProcessIdentifierIsRandomOncePerProcess) {
  EXPECT_EQ(ROProcessClientID(), ROProcessClientID());
  EXPECT_FALSE(ROProcessClientID().IsNull());
  EXPECT_NE(TROGuid::NewRandom(), TROGuid::NewRandom());
  EXPECT_EQ(TROBinMessage().ClientID(), ROProcessClientID());
}

TEST(MessageRequest, EchoRequestBytesAreExact) {
  TROBinMessage m(kID);
  m.InitializeRequest("UpdaterServiceLibrary", "UpdaterService", "Echo");
  const auto sent = m.Finalize();
  const Bytes expected = {
      'R',  'O',  '1',  '0',  '7',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // header
      0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB,  // client id
      0xCC, 0xDD, 0xEE, 0xFF,                                                  //
      14,   0,    0,    0,    'U',  'p',  'd',  'a',  't',  'e',  'r',  'S',  'e',
      'r',  'v',  'i',  'c',  'e',  4,    0,    0,    0,    'E',  'c',  'h',  'o'};
  EXPECT_EQ(Bytes(sent.begin(), sent.end()), expected);
}

TEST(MessageRequest, ParametersFollowTheNamesAndTheLibraryIsNotWritten) {
  TROBinMessage m(kID);
  TROSerializer& w =
      m.InitializeRequest("UpdaterServiceLibrary", "UpdaterService", "Get_Applications_List");
  w.WriteAnsiString("Active", "D");
  const auto sent = m.Finalize();
  const Bytes expected =
      Builder().Header().Str("UpdaterService").Str("Get_Applications_List").Str("D").b;
  EXPECT_EQ(Bytes(sent.begin(), sent.end()), expected);
  EXPECT_EQ(std::string(sent.begin(), sent.end()).find("UpdaterServiceLibrary"), std::string::npos);
}

TEST(MessageResponse, ReadsResultAfterTheNames) {
  for (bool value : {true, false}) {
    auto m = EchoCall();
    EXPECT_EQ(m->ReadResponse(EchoAnswer(value)).ReadBoolean("Result"), value);
  }
}

TEST(MessageResponse, BothCompressedLayoutsDecode) {
  // A body long enough to be worth compressing, with a binary value inside.
  const std::string part(70000, 'x');
  const Bytes body = Builder()
                         .Str("UpdaterService")
                         .Str("Download_Files_ExecutablesResponse")
                         .Raw({1})
                         .Int32(static_cast<std::int32_t>(part.size()))
                         .Text(part)
                         .b;
  for (bool prefixed : {false, true}) {
    TROBinMessage m(kID);
    m.InitializeRequest("L", "UpdaterService", "Download_Files_Executables");
    std::unique_ptr<TROBinaryMemoryStream> value;
    m.ReadResponse(frame_bytes::Compressed(body, prefixed)).ReadBinary("Result", value);
    ASSERT_TRUE(value) << prefixed;
    EXPECT_EQ(value->ToString(), part);
    EXPECT_TRUE(m.ReceivedCompressed());
  }
}

TEST(MessageResponse, SizePrefixThatLooksLikeAZlibHeaderStillDecodes) {
  // 40056 = 0x9C78: its first two bytes 78 9C are a valid zlib header, so the reader first
  // tries the layout without a prefix; that must not be the end of it.
  Builder body;
  body.Str("UpdaterService").Str("EchoResponse").Bool(true);
  body.b.resize(40056, 0xEE);  // ignored bytes after the last value
  const Bytes answer = frame_bytes::Compressed(body.b, true);
  ASSERT_EQ(answer[28], 0x78);
  ASSERT_EQ(answer[29], 0x9C);
  auto m = EchoCall();
  EXPECT_TRUE(m->ReadResponse(answer).ReadBoolean("Result"));
}

TEST(MessageResponse, CompressedBodiesAreBounded) {
  Builder body;
  body.Str("UpdaterService").Str("EchoResponse").Bool(true);
  body.b.resize(1 << 20, 0);  // 1 MiB that compresses to about a kilobyte
  for (bool prefixed : {false, true}) {
    auto m = EchoCall();
    m->SetMaxBodySize(64 * 1024);
    try {
      m->ReadResponse(frame_bytes::Compressed(body.b, prefixed));
      ADD_FAILURE() << "an oversized body was accepted";
    } catch (const EROMessageError& e) {
      EXPECT_THAT(e.what(), HasSubstr("65536")) << e.what();
    }
  }
  // A prefix that announces more than the bound is refused before inflating anything.
  const Bytes lie = Builder().Header(0, 1).Int32(0x7FFFFFFF).Raw(frame_bytes::Zlib({1, 2})).b;
  EXPECT_THAT(DecodeError(lie), HasSubstr("2147483647"));
}

TEST(MessageResponse, DamagedCompressedBodiesAreRefused) {
  const Bytes body = EchoAnswer(true);
  const Bytes inner(body.begin() + 28, body.end());
  Bytes truncated = frame_bytes::Compressed(inner, false);
  truncated.resize(truncated.size() - 6);
  Bytes wrongSize = Builder().Header(0, 1).Int32(3).Raw(frame_bytes::Zlib(inner)).b;
  Bytes corrupt = frame_bytes::Compressed(inner, false);
  corrupt[31] ^= 0xFF;
  Bytes notZlib = Builder().Header(0, 1).Raw({1, 2, 3}).b;
  for (const Bytes& bad : {truncated, wrongSize, corrupt, notZlib}) {
    const std::string error = DecodeError(bad);
    EXPECT_THAT(error, HasSubstr("decompress")) << error;
    EXPECT_THAT(error, HasSubstr("offset 28")) << error;
  }
}

TEST(MessageResponse, RefusesForeignShortAndUnknownFrames) {
  const Bytes good = EchoAnswer(true);
  Bytes kind2 = good;
  kind2[6] = 2;
  Bytes version6 = good;
  version6[4] = '6';
  struct Case {
    const char* what;
    Bytes bytes;
    const char* expected;
  } cases[] = {
      {"empty", {}, "too short"},
      {"27 bytes", Bytes(good.begin(), good.begin() + 27), "27 bytes"},
      {"encrypted", Builder().Text("roroc").Raw(Bytes(40, 0)).b, "roroc"},
      {"encrypted and short", Builder().Text("roroc").b, "roroc"},
      {"envelope", Builder().Text("ROENV").Raw(Bytes(40, 0)).b, "ROENV"},
      {"html", Builder().Text("<html><body>Bad gateway</body></html>").b, "not a binary message"},
      {"other version", version6, "RO106"},
      {"unknown kind", kind2, "kind 2 at offset 6"},
  };
  for (const Case& c : cases) EXPECT_THAT(DecodeError(c.bytes), HasSubstr(c.expected)) << c.what;
}

TEST(MessageResponse, WrongOrDamagedNamesAreDecodingErrorsWithOffsets) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* expected;
  } cases[] = {
      {"other interface", Builder().Header().Str("OtherService").Str("EchoResponse").Bool(1).b,
       "\"OtherService\" at offset 28"},
      {"other operation",
       Builder().Header().Str("UpdaterService").Str("Service_IsActiveResponse").Bool(1).b,
       "\"Service_IsActiveResponse\" at offset 46"},
      {"no Response suffix", Builder().Header().Str("UpdaterService").Str("Echo").Bool(1).b,
       "\"EchoResponse\" was expected"},
      {"names missing", Builder().Header().b, "offset 28 needs a 4-byte length, 0 bytes remain"},
      {"negative length", Builder().Header().Int32(-5).b, "negative length -5"},
      {"length past the end", Builder().Header().Int32(100).Text("Updater").b,
       "claims 100 bytes, 7 remain"},
  };
  for (const Case& c : cases) EXPECT_THAT(DecodeError(c.bytes), HasSubstr(c.expected)) << c.what;
}

TEST(MessageException, ServerFailuresBecomeErrorsWithTheServerText) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* className;
    const char* text;
  } cases[] = {
      {"plain", Builder().Header(1).Str("EUpdaterServerError").Str("Baza nije dostupna").b,
       "EUpdaterServerError", "Baza nije dostupna"},
      {"with trailing fields",
       Builder().Header(1).Str("EROException").Str("Pad").Int32(7).Text("stack").b, "EROException",
       "Pad"},
      {"names first",
       Builder().Header(1).Str("UpdaterService").Str("Echo").Str("EDB").Str("Deadlock").b, "EDB",
       "Deadlock"},
      {"names first, Response suffix",
       Builder().Header(1).Str("UpdaterService").Str("EchoResponse").Str("EDB").Str("Lock").b,
       "EDB", "Lock"},
      {"no message", Builder().Header(1).Str("EAccessViolation").b, "EAccessViolation",
       "The service failed with EAccessViolation and gave no reason"},
      {"compressed",
       frame_bytes::Compressed(Builder().Str("EUpdaterServerError").Str("Zip").b, true, 1),
       "EUpdaterServerError", "Zip"},
  };
  for (const Case& c : cases) {
    auto m = EchoCall();
    try {
      m->ReadResponse(c.bytes);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EROServerException& e) {
      EXPECT_EQ(e.ServerClassName(), c.className) << c.what;
      EXPECT_STREQ(e.what(), c.text) << c.what;
    }
  }
  // An exception message that cannot even say its class is a decoding error.
  EXPECT_THAT(DecodeError(Builder().Header(1).Int32(50).Text("EX").b),
              HasSubstr("claims 50 bytes"));
}

TEST(MessageServer, ReadsARequestAndAnswersUnderTheSendersIdentifier) {
  const Bytes request =
      Builder().Header().Str("UpdaterService").Str("AdminLogin").Str("admin").Str("tajna").b;
  TROBinMessage server(TROGuid::NewRandom());
  TROSerializer& in = server.ReadRequest(request);
  EXPECT_EQ(server.InterfaceName(), "UpdaterService");
  EXPECT_EQ(server.OperationName(), "AdminLogin");
  EXPECT_EQ(server.ClientID(), kID);
  EXPECT_EQ(in.ReadAnsiString("AdminUserName"), "admin");
  EXPECT_EQ(in.ReadAnsiString("AdminPassword"), "tajna");

  server.InitializeResponse().WriteBoolean("Result", true);
  const auto answer = server.Finalize();
  EXPECT_EQ(Bytes(answer.begin(), answer.end()),
            Builder().Header().Str("UpdaterService").Str("AdminLoginResponse").Bool(true).b);

  server.WriteException("EUpdaterServerError", "Pogrešna lozinka");
  const auto failure = server.Finalize();
  EXPECT_EQ(Bytes(failure.begin(), failure.end()),
            Builder().Header(1).Str("EUpdaterServerError").Str("Pogrešna lozinka").b);
}

TEST(MessageServer, CompressedAnswerUsesTheSizePrefixAndRoundTrips) {
  TROBinMessage server(kID);
  server.ReadRequest(Builder().Header().Str("UpdaterService").Str("Service_GetName").b);
  server.SetCompressWrites(true);
  server.InitializeResponse().WriteAnsiString("Result", std::string(5000, 'N'));
  const auto packed = server.Finalize();
  const Bytes answer(packed.begin(), packed.end());
  EXPECT_EQ(answer[5], 1);  // compressed flag
  const Bytes plain =
      Builder().Str("UpdaterService").Str("Service_GetNameResponse").Str(std::string(5000, 'N')).b;
  EXPECT_EQ(Builder().Int32(static_cast<std::int32_t>(plain.size())).b,
            Bytes(answer.begin() + 28, answer.begin() + 32));
  EXPECT_LT(answer.size(), plain.size());

  TROBinMessage client(kID);
  client.InitializeRequest("L", "UpdaterService", "Service_GetName");
  EXPECT_EQ(client.ReadResponse(answer).ReadAnsiString("Result"), std::string(5000, 'N'));
}

TEST(MessageServer, RefusesRequestsThatAreNotRequests) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* expected;
  } cases[] = {
      {"exception kind", Builder().Header(1).Str("E").Str("x").b, "exception message"},
      {"no interface", Builder().Header().Str("").Str("Echo").b, "names no interface"},
      {"no operation", Builder().Header().Str("UpdaterService").b, "needs a 4-byte length"},
      {"empty operation", Builder().Header().Str("UpdaterService").Str("").b, "names no operation"},
      {"foreign", Builder().Text("ROENV").Raw(Bytes(40, 0)).b, "ROENV"},
  };
  for (const Case& c : cases) {
    TROBinMessage server;
    try {
      server.ReadRequest(c.bytes);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const EROMessageError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.expected)) << c.what;
    }
  }
}

TEST(MessageLifecycle, FreeStreamReleasesEveryBody) {
  TROBinMessage m(kID);
  EXPECT_FALSE(m.HasBody());
  m.InitializeRequest("L", "UpdaterService", "Echo");
  EXPECT_TRUE(m.HasBody());
  m.Finalize();
  m.ReadResponse(EchoAnswer(true));
  EXPECT_TRUE(m.HasBody());
  m.FreeStream();
  EXPECT_FALSE(m.HasBody());
  EXPECT_THROW(m.Reader(), EROException);
  EXPECT_THROW(m.Finalize(), EROException);
}

TEST(MessageLifecycle, AnswerWithoutRequestIsRefused) {
  TROBinMessage m(kID);
  EXPECT_THROW(m.ReadResponse(EchoAnswer(true)), EROException);
  EXPECT_THROW(m.InitializeResponse(), EROException);
}

TEST(MessageBinary, LastBinaryTakesOverTheBufferAndOthersAreCopied) {
  const std::string part = "\x01\x02\x03 part bytes";
  struct Case {
    const char* what;
    Bytes tail;                           // the values after the names
    std::optional<std::string> expected;  // the stream's content; none for an absent value
    bool readAnotherBoolean;              // a value follows the binary
  } cases[] = {
      {"last value", Builder().Raw({1}).Int32(static_cast<std::int32_t>(part.size())).Text(part).b,
       part, false},
      {"value follows",
       Builder().Raw({1}).Int32(static_cast<std::int32_t>(part.size())).Text(part).Bool(true).b,
       part, true},
      {"any non-zero presence byte", Builder().Raw({7}).Int32(2).Text("ab").b, "ab", false},
      {"empty", Builder().Raw({1}).Int32(0).b, "", false},
      {"absent", Builder().Raw({0}).b, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TROBinMessage m(kID);
    m.InitializeRequest("L", "UpdaterService", "Download_Files_Executables");
    m.ReadResponse(Builder()
                       .Header()
                       .Str("UpdaterService")
                       .Str("Download_Files_ExecutablesResponse")
                       .Raw(c.tail)
                       .b);
    auto value = std::make_unique<TROBinaryMemoryStream>(std::string_view("old"));
    m.ReadBinary("Result", value);
    if (!c.expected) {
      EXPECT_EQ(value, nullptr);
    } else {
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(value->ToString(), *c.expected);
      EXPECT_EQ(value->Position(), 0u);
    }
    if (c.readAnotherBoolean) {
      EXPECT_TRUE(m.Reader().ReadBoolean("Next"));
    }
    // Whatever path was taken, nothing more can be read than the answer held.
    EXPECT_THROW(m.Reader().ReadInteger("Beyond"), EROStreamError);
    m.FreeStream();
    EXPECT_FALSE(m.HasBody());
  }
}

TEST(MessageBinary, DamagedBinaryFailsAsTheSerializerSays) {
  struct Case {
    const char* what;
    Bytes tail;
    const char* expected;
  } cases[] = {
      {"longer than the answer", Builder().Raw({1}).Int32(5000).Text("abc").b,
       "Invalid string length"},
      {"longer than what remains", Builder().Raw({1}).Int32(20).Text("abc").b, "Stream read error"},
      {"length cut short", Builder().Raw({1, 3, 0}).b, "Stream read error"},
  };
  for (const Case& c : cases) {
    TROBinMessage m(kID);
    m.InitializeRequest("L", "UpdaterService", "Download_Files_Executables");
    m.ReadResponse(Builder()
                       .Header()
                       .Str("UpdaterService")
                       .Str("Download_Files_ExecutablesResponse")
                       .Raw(c.tail)
                       .b);
    std::unique_ptr<TROBinaryMemoryStream> value;
    try {
      m.ReadBinary("Result", value);
      ADD_FAILURE() << c.what << ": no failure";
    } catch (const EROStreamError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.expected)) << c.what;
    }
    EXPECT_EQ(value, nullptr) << c.what;
  }
}
