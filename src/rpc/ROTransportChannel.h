// A client transport: carries one request body to the service and brings back its answer.
//
// A channel is used by one thread at a time; calls do not overlap. Every failure to deliver
// the request or to receive an answer (unreachable server, time-out, an answer that is no
// service message) is raised as EROTransportError, whose text names the service URL and the
// reason, so that a user can tell a server that is down from one that answered wrongly.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ROExceptions.h"

class EROTransportError : public EROException {
 public:
  using EROException::EROException;
};

class IROTransportChannel {
 public:
  virtual ~IROTransportChannel() = default;

  // Sends one complete request and returns the complete response body.
  virtual std::vector<std::uint8_t> Dispatch(std::span<const std::uint8_t> request) = 0;
};
