#include "HandleTable.h"

#include <mutex>
#include <unordered_map>

namespace tv::framework::detail {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<HWND, TForm*> forms;
  HWND next = 0x10000;  // far from 0, so a forgotten handle never looks valid
};

// Never destroyed: threads that outlive main may still ask whether a handle is alive.
Table& TheTable() {
  static Table& table = *new Table;
  return table;
}

}  // namespace

HWND RegisterWindow(TForm* form) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const HWND handle = t.next;
  t.next += 4;
  t.forms.emplace(handle, form);
  return handle;
}

void UnregisterWindow(HWND handle) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  t.forms.erase(handle);
}

TForm* FindWindow(HWND handle) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const auto it = t.forms.find(handle);
  return it == t.forms.end() ? nullptr : it->second;
}

bool IsLiveWindow(HWND handle) {
  return FindWindow(handle) != nullptr;
}

}  // namespace tv::framework::detail
