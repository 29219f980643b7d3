// What the proxy promises beyond carrying values: it sends nothing until called, owns neither
// message nor channel, clears out references at entry, keeps only whole values after a
// failure, lets every failure through unchanged and always leaves the message empty.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "../rpc/FrameBytes.h"
#include "FakeUpdaterService.h"
#include "UpdaterServiceLibrary_Intf.h"

using fake::Bytes;
using fake::Encoded;
using frame_bytes::Builder;
using testing::HasSubstr;

namespace {

// A channel that answers from a script and remembers what was sent.
class ScriptedChannel : public IROTransportChannel {
 public:
  std::function<Bytes(const Bytes&)> answer;
  std::vector<Bytes> sent;

  Bytes Dispatch(std::span<const std::uint8_t> request) override {
    sent.emplace_back(request.begin(), request.end());
    return answer(sent.back());
  }
};

Builder Answer(const char* operation) {
  return Builder().Header().Str("UpdaterService").Str(operation);
}

Bytes RecordBytes(const TROComplexType& value) {
  Bytes out;
  TROStreamSerializer w(out);
  w.WriteStruct("v", &value, value.ClassInfo());
  return out;
}

class Proxy : public testing::Test {
 protected:
  TUpdaterServiceLibraryRegistration registration;
  TROBinMessage message;
  ScriptedChannel channel;
};

}  // namespace

TEST_F(Proxy, CreatingSendsNothingAndReleasingKeepsMessageAndChannel) {
  auto sharedMessage = std::make_shared<TROBinMessage>();
  auto sharedChannel = std::make_shared<ScriptedChannel>();
  {
    const auto proxy = CoUpdaterService::Create(sharedMessage, sharedChannel);
    const auto byReference = CoUpdaterService::Create(message, channel);
    EXPECT_TRUE(sharedChannel->sent.empty());
    EXPECT_TRUE(channel.sent.empty());
  }
  EXPECT_EQ(sharedMessage.use_count(), 1);
  EXPECT_EQ(sharedChannel.use_count(), 1);
}

TEST_F(Proxy, FailedGetApplicationKeepsOnlyTheValuesReadWhole) {
  // Result, the application, then an executables list that announces two entries and ends
  // after the first.
  const auto app = fake::App("A1");
  const auto file = fake::File("F1", 10);
  channel.answer = [&](const Bytes&) {
    return Answer("Get_ApplicationResponse")
        .Bool(true)
        .Raw(RecordBytes(*app))
        .Raw({1})
        .Int32(2)
        .Raw(RecordBytes(*file))
        .b;
  };
  auto application = fake::App("caller's own");
  auto executables = std::make_unique<WS_Array_Of_Files_executables>();
  auto configurations = std::make_unique<WS_Array_Of_Applications_config_files>();
  auto locales = std::make_unique<WS_Array_Of_Application_locales>();
  const auto proxy = CoUpdaterService::Create(message, channel);
  EXPECT_THROW(proxy->Get_Application("A1", application, executables, configurations, locales),
               EROStreamError);
  ASSERT_TRUE(application);
  EXPECT_EQ(Encoded(application), Encoded(app));
  EXPECT_EQ(executables, nullptr) << "a partly read list is not handed out";
  EXPECT_EQ(configurations, nullptr);
  EXPECT_EQ(locales, nullptr);
  EXPECT_FALSE(message.HasBody());
}

TEST_F(Proxy, OutReferencesAreClearedEvenWhenNothingArrives) {
  channel.answer = [](const Bytes&) -> Bytes { throw EROTransportError("down"); };
  auto application = fake::App("old");
  auto executables = std::make_unique<WS_Array_Of_Files_executables>();
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  auto locales = std::make_unique<WS_Array_Of_Application_locales>();
  EXPECT_THROW(CoUpdaterService::Create(message, channel)
                   ->Get_Application("A1", application, executables, configurations, locales),
               EROTransportError);
  EXPECT_EQ(application, nullptr);
  EXPECT_EQ(executables, nullptr);
  EXPECT_EQ(locales, nullptr);
}

TEST_F(Proxy, FailuresPassUnchangedAndTheMessageIsReadyForTheNextCall) {
  struct Case {
    const char* what;
    std::function<Bytes()> answer;
    std::function<void(const std::exception&)> check;
  } cases[] = {
      {"transport", []() -> Bytes { throw EROTransportError("Cannot reach the service"); },
       [](const std::exception& e) {
         EXPECT_NE(dynamic_cast<const EROTransportError*>(&e), nullptr);
         EXPECT_STREQ(e.what(), "Cannot reach the service");
       }},
      {"server", [] { return Builder().Header(1).Str("EUpdaterServerError").Str("Nema").b; },
       [](const std::exception& e) {
         EXPECT_NE(dynamic_cast<const EROServerException*>(&e), nullptr);
         EXPECT_STREQ(e.what(), "Nema");
       }},
      {"frame", [] { return Builder().Text("<html>").b; },
       [](const std::exception& e) {
         EXPECT_NE(dynamic_cast<const EROMessageError*>(&e), nullptr);
       }},
      {"value",
       [] {
         return Answer("EchoResponse").Raw({1, 0}).b;
       },
       [](const std::exception& e) {
         EXPECT_NE(dynamic_cast<const EROStreamError*>(&e), nullptr);
         EXPECT_THAT(e.what(), HasSubstr("Stream read error"));
       }},
  };
  const auto proxy = CoUpdaterService::Create(message, channel);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    channel.answer = [&](const Bytes&) { return c.answer(); };
    try {
      proxy->Echo();
      ADD_FAILURE() << "no failure";
    } catch (const EROException& e) {
      c.check(e);
    }
    EXPECT_FALSE(message.HasBody());
    channel.answer = [](const Bytes&) { return Answer("EchoResponse").Bool(true).b; };
    EXPECT_TRUE(proxy->Echo());
    EXPECT_FALSE(message.HasBody());
  }
}

TEST_F(Proxy, InParametersKeepTheirValues) {
  auto file = fake::File("F1", 3 * 1048576);
  const Bytes before = Encoded(*file);
  channel.answer = [](const Bytes&) {
    return Answer("Download_Files_ExecutablesResponse").Raw({1}).Int32(3).Text("abc").b;
  };
  const auto part =
      CoUpdaterService::Create(message, channel)->Download_Files_Executables(*file, 2, 1048576);
  ASSERT_TRUE(part);
  EXPECT_EQ(part->ToString(), "abc");
  EXPECT_EQ(Encoded(*file), before);
}

TEST_F(Proxy, RegisteredProxyIsFoundByInterfaceIdentifier) {
  EXPECT_EQ(IID_IUpdaterService.ToString(), "{A9793762-3CDF-476E-AD9F-A5BC5E9BF218}");
  channel.answer = [](const Bytes&) { return Answer("Service_IsActiveResponse").Bool(true).b; };
  const auto service = ROCreateProxy<IUpdaterService>(IID_IUpdaterService, RONonOwning(message),
                                                      RONonOwning(channel));
  EXPECT_TRUE(service->Service_IsActive());

  const TROGuid unknown = TROGuid::Parse("{11111111-2222-3333-4444-555555555555}");
  try {
    ROCreateProxy<IUpdaterService>(unknown, RONonOwning(message), RONonOwning(channel));
    ADD_FAILURE() << "no failure";
  } catch (const EROException& e) {
    EXPECT_THAT(e.what(), HasSubstr("{11111111-2222-3333-4444-555555555555}"));
  }
}

TEST(ProxyRegistration, NestsAndEndsWithTheLastRegistration) {
  EXPECT_FALSE(TROProxyRegistry::Global().IsRegistered(IID_IUpdaterService));
  {
    TUpdaterServiceLibraryRegistration outer;
    {
      TUpdaterServiceLibraryRegistration inner;
      EXPECT_TRUE(TROProxyRegistry::Global().IsRegistered(IID_IUpdaterService));
    }
    EXPECT_TRUE(TROProxyRegistry::Global().IsRegistered(IID_IUpdaterService));
    EXPECT_NE(TROClassRegistry::Global().Find("WS_Files_executables"), nullptr);
  }
  EXPECT_FALSE(TROProxyRegistry::Global().IsRegistered(IID_IUpdaterService));
  EXPECT_EQ(TROClassRegistry::Global().Find("WS_Files_executables"), nullptr);
}

TEST(ProxyContract, OperationsInSlotOrder) {
  const std::vector<std::string_view> expected = {
      "Echo",
      "Get_Applications_List",
      "Insert_Applications",
      "Update_Applications",
      "Delete_Applications",
      "Service_IsActive",
      "Service_Activate",
      "Service_Deactivate",
      "Service_GetName",
      "Service_SetName",
      "Get_Files_executables_List",
      "Insert_Files_executables",
      "Update_Files_executables",
      "Delete_Files_executables",
      "Get_Applications_config_files_List",
      "Insert_Applications_config_files",
      "Update_Applications_config_files",
      "Delete_Applications_config_files",
      "AdminLogin",
      "Get_CD_Lookups_By_Name",
      "Upload_Files_Executables",
      "Download_Files_Executables",
      "Get_Applications_Executables",
      "Update_Applications_Executables",
      "Get_Application",
      "Insert_Application_locales",
      "Update_Application_locales",
      "Delete_Application_locales",
      "Insert_Locales_files",
      "Update_Locales_files",
      "Delete_Locales_files",
      "Get_Application_Locales",
  };
  EXPECT_EQ(std::vector<std::string_view>(kUpdaterServiceOperationNames.begin(),
                                          kUpdaterServiceOperationNames.end()),
            expected);
}
