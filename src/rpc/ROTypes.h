// The value bases of the service contract: TROClassInfo (a class's name, ancestor and factory),
// TROComplexType (a record or array that copies itself with Assign and moves its fields to and
// from a serializer), TROArray (an owning, growable list of records with the array operations)
// and TROArrayOf (the typed face of one array type). Bad indexes throw EROInvalidIndex with the
// user-visible message; Assign from none throws EROAssignError; decoding errors come from the
// serializer and pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

class TROSerializer;
class TROComplexType;

// What the class registry knows of a class: its name, its ancestor (for the descent test) and
// how to create an empty instance. One static instance per class; compared by address.
struct TROClassInfo {
  std::string_view name;
  const TROClassInfo* parent = nullptr;                    // none for the root TROComplexType
  std::unique_ptr<TROComplexType> (*factory)() = nullptr;  // none for abstract bases

  // True when this class is ancestor or descends from it.
  bool InheritsFrom(const TROClassInfo& ancestor) const noexcept;
  // A new empty instance; EROClassError for an abstract class.
  std::unique_ptr<TROComplexType> Create() const;
};

// The factory that every concrete class puts into its TROClassInfo.
template <class T>
std::unique_ptr<TROComplexType> ROCreateInstance() {
  return std::make_unique<T>();
}

// A record or an array: a heap object with value semantics by explicit copy.
class TROComplexType {
 public:
  TROComplexType() = default;
  TROComplexType(const TROComplexType&) = delete;
  TROComplexType& operator=(const TROComplexType&) = delete;
  virtual ~TROComplexType() = default;

  static const TROClassInfo& StaticClass();
  virtual const TROClassInfo& ClassInfo() const { return StaticClass(); }
  std::string_view ClassName() const { return ClassInfo().name; }

  // Copies source into this object. The base accepts any complex type and changes nothing (a
  // record of another type leaves the target unchanged); none throws EROAssignError.
  virtual void Assign(const TROComplexType* source);
  void Assign(const TROComplexType& source) { Assign(&source); }

  // Moves every field from or to the serializer, in the type's serialization order.
  // Writing may create an owned stream or array that was never accessed (an empty one), which
  // is the only change it makes, so it is const.
  virtual void ReadFrom(TROSerializer& serializer) = 0;
  virtual void WriteTo(TROSerializer& serializer) const = 0;

  // A new object of this object's own class that received this one's values through Assign.
  std::unique_ptr<TROComplexType> Clone() const;
};

// Clone with the static type kept.
template <class T>
std::unique_ptr<T> ROClone(const T& value) {
  return std::unique_ptr<T>(static_cast<T*>(value.Clone().release()));
}

// An owned stream or array field that comes into being on first access: reading the field when
// it holds nothing creates an empty object, so a record never hands out a missing one. After a
// serializer delivered none the field holds nothing until the next access.
template <class T>
class TROOwned {
 public:
  T& Get() const {
    if (!FObject) FObject = std::make_unique<T>();
    return *FObject;
  }
  bool Assigned() const noexcept { return FObject != nullptr; }
  // Stores value (which may be none); the object held before is destroyed.
  void Set(std::unique_ptr<T> value) noexcept { FObject = std::move(value); }
  std::unique_ptr<T> Release() noexcept { return std::move(FObject); }
  // The reference itself, for serializers that deliver a new object or none into it.
  std::unique_ptr<T>& Ref() noexcept { return FObject; }

 private:
  mutable std::unique_ptr<T> FObject;
};

// An array of records of one item class. It owns the records in its slots; a slot may hold
// none and still counts. The storage vector's length is the capacity.
class TROArray : public TROComplexType {
 public:
  static const TROClassInfo& StaticClass();
  const TROClassInfo& ClassInfo() const override { return StaticClass(); }
  ~TROArray() override;

  int32_t Count() const noexcept { return FCount; }
  int32_t Capacity() const noexcept { return static_cast<int32_t>(FItems.size()); }

  // The class of the records this array holds, the C++ type of one record, the size of a slot.
  virtual const TROClassInfo& GetItemClass() const = 0;
  virtual const std::type_info& GetItemType() const = 0;
  size_t GetItemSize() const noexcept { return sizeof(std::unique_ptr<TROComplexType>); }

  // Untyped item access. Index outside 0..Count-1: "Array index out of bounds (%d).".
  TROComplexType* GetItem(int32_t index) const;
  // Destroys the record held before (if any, and if it is not item itself) and stores item.
  // A record that is not of the item class is refused with EROAssignError.
  void SetItem(int32_t index, std::unique_ptr<TROComplexType> item);

  // n == Count: nothing. Smaller: destroys slots Count-1 down to n. The capacity becomes n;
  // new slots receive new empty records. A negative n throws EROInvalidIndex.
  virtual void Resize(int32_t n);
  // Destroys slot index's record and closes the gap; the capacity becomes Count-1.
  // index < 0 or >= Count: "Invalid index %d".
  virtual void Delete(int32_t index);
  // Destroys every record; capacity and Count become 0.
  virtual void Clear() noexcept;
  // Capacity c becomes c + c/4 (c > 64), c + 16 (8 < c <= 64) or c + 4 (c <= 8).
  virtual void Grow();

  // Same array type (or a descendant): Clear, then every source slot appended, none as none and
  // a record as a new record of its own class that received its values. Another complex type
  // leaves this array unchanged; none throws EROAssignError. Assigning an array to itself
  // keeps it as it is.
  void Assign(const TROComplexType* source) override;
  using TROComplexType::Assign;
  // The count was already set by the serializer through Resize; each slot receives the record
  // that the serializer creates (element name "item", index i), replacing the one Resize made.
  void ReadFrom(TROSerializer& serializer) override;
  // Every slot in order, none as none, element name "item", index i.
  void WriteTo(TROSerializer& serializer) const override;

 protected:
  // Appends item (none allowed), growing first when Count equals the capacity; the new index.
  int32_t AddItem(std::unique_ptr<TROComplexType> item);

 private:
  void CheckBounds(int32_t index) const;

  std::vector<std::unique_ptr<TROComplexType>> FItems;  // size() is the capacity
  int32_t FCount = 0;
};

// The typed face shared by all array types: Self names the array class (it provides
// StaticClass()), Item the record class.
template <class Self, class Item>
class TROArrayOf : public TROArray {
 public:
  using ItemType = Item;

  const TROClassInfo& ClassInfo() const override { return Self::StaticClass(); }
  const TROClassInfo& GetItemClass() const override { return Item::StaticClass(); }
  const std::type_info& GetItemType() const override { return typeid(Item); }

  // The record in slot index (none for an empty slot); bounds as GetItem.
  Item* Items(int32_t index) const { return static_cast<Item*>(GetItem(index)); }
  void SetItems(int32_t index, std::unique_ptr<Item> item) { SetItem(index, std::move(item)); }
  // Appends item (none allowed) and returns its index.
  int32_t Add(std::unique_ptr<Item> item) { return AddItem(std::move(item)); }
  // Appends a new empty record and returns it.
  Item& AddNew() {
    auto item = std::make_unique<Item>();
    Item& result = *item;
    AddItem(std::move(item));
    return result;
  }
};
