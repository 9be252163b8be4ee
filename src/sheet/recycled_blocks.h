#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

// MinGW runs the destructors of thread_local objects at a thread's end unreliably (seen
// under Wine as a fault in ~List), so Windows keeps no list either.
#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
#define ZANDOR_RECYCLES_BLOCKS 1
#endif

namespace zandor::sheet {

// Memory blocks of one size kept for reuse on the thread that freed them. Reading a cell
// makes and drops two small objects (the server's range and the bridge's object); recycling
// their blocks saves a malloc and a free each. Under AddressSanitizer every block goes back
// to the heap, so use after free is still found.
template <std::size_t Size>
class RecycledBlocks {
 public:
  static void* take() {
#ifdef ZANDOR_RECYCLES_BLOCKS
    std::vector<void*>& kept = list().blocks;
    if (!kept.empty()) {
      void* block = kept.back();
      kept.pop_back();
      return block;
    }
#endif
    return ::operator new(Size);
  }
  static void give(void* block) {
#ifdef ZANDOR_RECYCLES_BLOCKS
    std::vector<void*>& kept = list().blocks;
    if (kept.size() < kKeep) {
      kept.push_back(block);
      return;
    }
#endif
    ::operator delete(block);
  }

 private:
  static constexpr std::size_t kKeep = 64;
  struct List {
    std::vector<void*> blocks;
    ~List() {
      for (void* block : blocks) ::operator delete(block);
    }
  };
  static List& list() {
    thread_local List kept;
    return kept;
  }
};

// An allocator for std::allocate_shared that takes its single blocks from RecycledBlocks.
template <class T>
struct RecyclingAllocator {
  using value_type = T;
  RecyclingAllocator() = default;
  template <class U>
  RecyclingAllocator(const RecyclingAllocator<U>&) {}  // NOLINT: rebinding
  T* allocate(std::size_t n) {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    if (n == 1) return static_cast<T*>(RecycledBlocks<sizeof(T)>::take());
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, std::size_t n) {
    if (n == 1)
      RecycledBlocks<sizeof(T)>::give(p);
    else
      std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const RecyclingAllocator<U>&) const {
    return true;
  }
};

}  // namespace zandor::sheet
