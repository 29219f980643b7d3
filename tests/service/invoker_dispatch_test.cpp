// The server side: dispatch by operation name, refusal of what cannot be served, the caller's
// identity during a call, and every failure turned into an exception message for the client.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "../rpc/FrameBytes.h"
#include "FakeUpdaterService.h"
#include "UpdaterService_Invoker.h"

using fake::Bytes;
using frame_bytes::Builder;
using testing::HasSubstr;

namespace {

const Bytes kOtherID = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

Builder Request(const char* operation, const Bytes& id = frame_bytes::kClientID) {
  return Builder().Header(0, 0, id).Str("UpdaterService").Str(operation);
}

class Invoker : public testing::Test {
 protected:
  // Serves request; returns the answer's kind and, for an exception message, its class and text.
  struct Outcome {
    int kind;
    std::string className;
    std::string text;
    Bytes bytes;
  };
  Outcome Serve(const Bytes& request) {
    TROBinMessage server;
    const auto answer = TUpdaterService_Invoker::ProcessMessage(service, request, server);
    Outcome outcome{answer[6], "", "", Bytes(answer.begin(), answer.end())};
    if (outcome.kind == 1) {
      TROStreamSerializer r(answer.subspan(TROBinMessage::kHeaderSize));
      outcome.className = r.ReadAnsiString("class");
      outcome.text = r.ReadAnsiString("message");
    }
    return outcome;
  }

  TUpdaterServiceLibraryRegistration registration;
  fake::FakeUpdaterService service;
};

}  // namespace

TEST_F(Invoker, DispatchesByNameAndAnswersUnderTheSendersIdentifier) {
  const Outcome echo = Serve(Request("Service_SetName", kOtherID).Str("Servis 2").b);
  EXPECT_EQ(echo.bytes, Builder()
                            .Header(0, 0, kOtherID)
                            .Str("UpdaterService")
                            .Str("Service_SetNameResponse")
                            .Bool(true)
                            .b);
  ASSERT_EQ(service.calls, std::vector<std::string>{"Service_SetName"});
  EXPECT_EQ(service.values, std::vector<std::string>{"Servis 2"});
}

TEST_F(Invoker, ImplementationSeesTheCallingClient) {
  EXPECT_EQ(TROCallContext::Current(), nullptr);
  Serve(Request("Echo").b);
  Serve(Request("Echo", kOtherID).b);
  ASSERT_EQ(service.callers.size(), 2u);
  EXPECT_EQ(Bytes(service.callers[0].bytes.begin(), service.callers[0].bytes.end()),
            frame_bytes::kClientID);
  EXPECT_EQ(Bytes(service.callers[1].bytes.begin(), service.callers[1].bytes.end()), kOtherID);
  EXPECT_EQ(TROCallContext::Current(), nullptr);
}

TEST_F(Invoker, UnknownOperationIsRefusedBeforeAnythingIsAnswered) {
  bool started = false;
  Bytes empty;
  TROStreamSerializer in(empty);
  try {
    TUpdaterService_Invoker::Invoke(service, "Get_Everything", in, [&]() -> TROSerializer& {
      started = true;
      return in;
    });
    ADD_FAILURE() << "no failure";
  } catch (const EROException& e) {
    EXPECT_STREQ(e.what(), "The interface UpdaterService has no operation \"Get_Everything\"");
  }
  EXPECT_FALSE(started);
  EXPECT_FALSE(TUpdaterService_Invoker::HasOperation("echo")) << "names keep their case";
  EXPECT_TRUE(TUpdaterService_Invoker::HasOperation("Echo"));
}

TEST_F(Invoker, FailuresBecomeExceptionMessages) {
  struct Case {
    const char* what;
    Bytes request;
    std::function<void()> implementation;
    const char* className;
    const char* text;
  } cases[] = {
      {"unknown operation", Request("Get_Everything").b, nullptr, "EROException",
       "has no operation \"Get_Everything\""},
      {"unknown interface", Builder().Header().Str("OtherService").Str("Echo").b, nullptr,
       "EROException", "does not offer the interface \"OtherService\""},
      {"absent record", Request("Insert_Applications").Raw({0}).b, nullptr, "EROException",
       "Insert_Applications carries no value for its parameter Application"},
      {"absent stream",
       Request("Upload_Files_Executables")
           .Raw(fake::Encoded(*fake::File("F1", 1)))
           .Int32(1)
           .Int32(10)
           .Raw({0})
           .b,
       nullptr, "EROException", "no value for its parameter File_Part"},
      {"undecodable value", Request("Delete_Applications").Int32(1000).Text("A1").b, nullptr,
       "EROException", "Invalid string length"},
      {"not a message", Builder().Text("GET /bin HTTP/1.1\r\nHost: localhost\r\n\r\n").b, nullptr,
       "EROException", "not a binary message"},
      {"server error", Request("Echo").b,
       [] { throw EROServerException("EUpdaterServerError", "Servis je zaustavljen"); },
       "EUpdaterServerError", "Servis je zaustavljen"},
      {"plain error", Request("Echo").b, [] { throw std::runtime_error("disk full"); },
       "EROException", "disk full"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    service.calls.clear();
    service.beforeAnswer = c.implementation;
    const Outcome outcome = Serve(c.request);
    EXPECT_EQ(outcome.kind, 1);
    EXPECT_EQ(outcome.className, c.className);
    EXPECT_THAT(outcome.text, HasSubstr(c.text));
    if (!c.implementation) {
      EXPECT_TRUE(service.calls.empty()) << "nothing may run";
    }
  }
}

TEST_F(Invoker, AcceptsCompressedRequests) {
  const Bytes body = Builder().Str("UpdaterService").Str("Delete_Files_executables").Str("F7").b;
  for (bool prefixed : {false, true}) {
    const Outcome outcome = Serve(frame_bytes::Compressed(body, prefixed));
    EXPECT_EQ(outcome.kind, 0);
    EXPECT_EQ(service.values, std::vector<std::string>{"F7"});
  }
}
