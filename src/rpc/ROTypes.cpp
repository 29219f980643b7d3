#include "ROTypes.h"

#include <string>

#include "ROExceptions.h"
#include "ROSerializer.h"

bool TROClassInfo::InheritsFrom(const TROClassInfo& ancestor) const noexcept {
  for (const TROClassInfo* cls = this; cls != nullptr; cls = cls->parent) {
    if (cls == &ancestor) return true;
  }
  return false;
}

std::unique_ptr<TROComplexType> TROClassInfo::Create() const {
  if (factory == nullptr) {
    throw EROClassError("Cannot create an instance of the abstract class \"" + std::string(name) +
                        "\".");
  }
  return factory();
}

const TROClassInfo& TROComplexType::StaticClass() {
  static const TROClassInfo info{"TROComplexType", nullptr, nullptr};
  return info;
}

void TROComplexType::Assign(const TROComplexType* source) {
  // A value of another complex type is not an error: the target simply stays as it is.
  if (source == nullptr) {
    throw EROAssignError("Cannot assign a nil to a " + std::string(ClassName()) + ".");
  }
}

std::unique_ptr<TROComplexType> TROComplexType::Clone() const {
  std::unique_ptr<TROComplexType> copy = ClassInfo().Create();
  copy->Assign(this);
  return copy;
}

const TROClassInfo& TROArray::StaticClass() {
  static const TROClassInfo info{"TROArray", &TROComplexType::StaticClass(), nullptr};
  return info;
}

TROArray::~TROArray() {
  Clear();
}

void TROArray::CheckBounds(int32_t index) const {
  if (index < 0 || index >= FCount) throw EROInvalidIndex(ro_messages::IndexOutOfBounds(index));
}

TROComplexType* TROArray::GetItem(int32_t index) const {
  CheckBounds(index);
  return FItems[static_cast<size_t>(index)].get();
}

void TROArray::SetItem(int32_t index, std::unique_ptr<TROComplexType> item) {
  CheckBounds(index);
  std::unique_ptr<TROComplexType>& slot = FItems[static_cast<size_t>(index)];
  if (item.get() == slot.get()) {
    // The slot already owns this very record: storing it again must not destroy it.
    static_cast<void>(item.release());
    return;
  }
  if (item && !item->ClassInfo().InheritsFrom(GetItemClass())) {
    throw EROAssignError("Cannot store a " + std::string(item->ClassName()) + " in a " +
                         std::string(ClassName()) + ".");
  }
  slot = std::move(item);
}

int32_t TROArray::AddItem(std::unique_ptr<TROComplexType> item) {
  if (item && !item->ClassInfo().InheritsFrom(GetItemClass())) {
    throw EROAssignError("Cannot store a " + std::string(item->ClassName()) + " in a " +
                         std::string(ClassName()) + ".");
  }
  if (FCount == Capacity()) Grow();
  FItems[static_cast<size_t>(FCount)] = std::move(item);
  return FCount++;
}

void TROArray::Resize(int32_t n) {
  if (n < 0) throw EROInvalidIndex("Invalid array size " + std::to_string(n));
  if (n == FCount) return;
  if (n < FCount) {
    for (int32_t i = FCount - 1; i >= n; --i) FItems[static_cast<size_t>(i)].reset();
    FItems.resize(static_cast<size_t>(n));
    FCount = n;
    return;
  }
  // New slots receive empty records, not null references. Count follows each one, so a failed
  // allocation leaves a consistent array.
  const TROClassInfo& itemClass = GetItemClass();
  FItems.resize(static_cast<size_t>(n));
  for (int32_t i = FCount; i < n; ++i) {
    FItems[static_cast<size_t>(i)] = itemClass.Create();
    FCount = i + 1;
  }
}

void TROArray::Delete(int32_t index) {
  if (index < 0 || index >= FCount) throw EROInvalidIndex(ro_messages::InvalidIndex(index));
  FItems[static_cast<size_t>(index)].reset();
  for (int32_t i = index; i < FCount - 1; ++i) {
    FItems[static_cast<size_t>(i)] = std::move(FItems[static_cast<size_t>(i) + 1]);
  }
  FItems.resize(static_cast<size_t>(FCount) - 1);
  --FCount;
}

void TROArray::Clear() noexcept {
  FItems.clear();
  FCount = 0;
}

void TROArray::Grow() {
  const int32_t c = Capacity();
  int32_t delta = 4;
  if (c > 64) {
    delta = c / 4;
  } else if (c > 8) {
    delta = 16;
  }
  FItems.resize(static_cast<size_t>(c) + static_cast<size_t>(delta));
}

void TROArray::Assign(const TROComplexType* source) {
  if (source == this) return;  // Clearing first would lose every record.
  const auto* array = dynamic_cast<const TROArray*>(source);
  if (array == nullptr || !array->ClassInfo().InheritsFrom(ClassInfo())) {
    TROComplexType::Assign(source);
    return;
  }
  Clear();
  for (int32_t i = 0; i < array->FCount; ++i) {
    const TROComplexType* item = array->FItems[static_cast<size_t>(i)].get();
    AddItem(item != nullptr ? item->Clone() : nullptr);
  }
}

void TROArray::ReadFrom(TROSerializer& serializer) {
  for (int32_t i = 0; i < FCount; ++i) {
    SetItem(i, serializer.ReadStruct("item", GetItemClass(), i));
  }
}

void TROArray::WriteTo(TROSerializer& serializer) const {
  for (int32_t i = 0; i < FCount; ++i) {
    serializer.WriteStruct("item", FItems[static_cast<size_t>(i)].get(), GetItemClass(), i);
  }
}
