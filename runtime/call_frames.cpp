// FUNCTION frames, built when a program is loaded: per called function its parameters, what
// a call made while it runs saves of it, and whose variables a call of it can change, so a
// call saves its caller's locals only when the callee can reach them.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

constexpr uint32_t kNoOwner = 0x10000;  // a slot no ownership list names (ids are 16-bit: more is none)
// Past this many owner ids, or this much work, every call saves as if the callee could
// change anything (what a hand-made program with huge ids or tangled code gets).
constexpr uint32_t kMostOwnerBits = 8192;
constexpr int64_t kWorkPerCodeWord = 16;
// Lives for the process: the tests turn it off to compare with calls that save the whole plan.
bool gFindCallSaves = true;

bool IsVariableWord(int32_t word) { return word >= 10000 + kFirstIntVar && word < 10000 + kFirstIntConst; }

class FrameBuilder {
 public:
  FrameBuilder(LoadedProgram& program, const std::vector<CallSite>& calls, const std::vector<uint8_t>& roles)
      : program_(program), calls_(calls), roles_(roles) {}

  void Build() {
    NumberOwners();
    for (const CallSite& call : calls_) FrameOf(call.entry, call.count);
    program_.frames.resize(entries_.size());
    BuildOwnerLocals();
    for (size_t f = 0; f < entries_.size(); ++f) BuildFrame(f);
    for (LocalsPlan& plan : program_.ownerLocals) plan.Finish();
    for (FunctionFrame& frame : program_.frames) frame.locals.Finish();
    const bool known = ownerBits_ <= kMostOwnerBits && FindDirectReach() && CloseReachOverCalls();
    for (FunctionFrame& frame : program_.frames) {
      frame.reachKnown = known;
      if (!known) frame.reach.clear();
      frame.firstReach = known ? frame.reach[0] : ~uint64_t{0};
    }
    BuildCallSites(known);
  }

  // Per call: its function, and what a call made there saves of the function that makes it
  // (the running function's whole plan, where the finder cannot tell). Each call's entry
  // operand then names its site.
  void BuildCallSites(bool reachKnown) {
    std::vector<int32_t> frameOfCall;
    for (const CallSite& call : calls_) frameOfCall.push_back(frameOfEntry_[call.entry]);
    std::vector<CallSaves> saves;
    if (reachKnown && gFindCallSaves) {
      saves = FindCallSaves(program_, calls_, frameOfCall, [this](const FunctionFrame& callee, int32_t slot) {
        const int32_t bit = OwnerBit(slot);
        return (callee.reach[static_cast<size_t>(bit) >> 6] >> (bit & 63)) & 1;
      });
    }
    program_.callSites.assign(calls_.size(), CallSiteFrame{});
    for (size_t i = 0; i < calls_.size(); ++i) {
      CallSiteFrame& site = program_.callSites[i];
      const FunctionFrame& callee = program_.frames[static_cast<size_t>(frameOfCall[i])];
      site.callee = &callee;
      const int32_t result = program_.words[static_cast<size_t>(calls_[i].at + 2)] - 10000;  // checked: a temporary or plain variable
      if ((result >= kFirstIntTemp && result < kFirstTextTemp) || (result >= kFirstIntVar && result < kFirstTextVar))
        site.numberResult = reinterpret_cast<VariableSlot*>(program_.code[static_cast<size_t>(calls_[i].at + 2)]);
      site.resume = &program_.code[static_cast<size_t>(calls_[i].at + 4 + calls_[i].count)];
      if (i < saves.size() && saves[i].caller >= 0) {
        site.caller = &program_.frames[static_cast<size_t>(saves[i].caller)];
        for (int32_t slot : saves[i].slots) {
          AddToPlan(site.plan, slot);
          site.plan.AddOwner(OwnerBit(slot));
        }
        site.plan.Finish();
        site.saves = !site.plan.empty && callee.MayChange(site.plan) ? &site.plan : nullptr;
      }
      program_.code[static_cast<size_t>(calls_[i].at + 1)] = reinterpret_cast<CodeCell>(&site);
    }
  }

 private:
  // Owner bits: the ids up to the highest the lists name, then one for slots none names.
  void NumberOwners() {
    uint32_t highest = 0;
    for (uint32_t owner : program_.slotOwners)
      if (owner < kNoOwner && owner > highest) highest = owner;
    ownerBits_ = highest + 2;
  }
  int32_t OwnerBit(int slot) const {
    const uint32_t owner = program_.slotOwners[static_cast<size_t>(slot - kFirstIntVar)];
    return static_cast<int32_t>(owner >= kNoOwner ? ownerBits_ - 1 : owner);
  }
  bool IsPlain(int slot) const { return roles_[static_cast<size_t>(slot - kFirstIntVar)] == 1; }

  int32_t FrameOf(int32_t entry, int32_t count) {
    auto [place, added] = frameOfEntry_.try_emplace(entry, static_cast<int32_t>(entries_.size()));
    if (added) entries_.push_back({entry, count});
    return place->second;
  }

  static void AddToPlan(LocalsPlan& plan, int slot) {
    (slot >= kFirstTextVar ? plan.texts : plan.numbers).push_back(slot);
    plan.empty = false;
  }

  // Per owner id: its plain variables, integers, floats and texts in list order. An array
  // keeps its block across calls, and a slot no code uses cannot change.
  void BuildOwnerLocals() {
    const size_t ids = program_.localsStart.empty() ? 0 : program_.localsStart.size() - 1;
    program_.ownerLocals.assign(ids, LocalsPlan{});
    for (size_t id = 0; id < ids; ++id) {
      LocalsPlan& plan = program_.ownerLocals[id];
      for (int32_t i = program_.localsStart[id]; i < program_.localsStart[id + 1]; ++i) {
        const int slot = program_.localSlots[static_cast<size_t>(i)];
        if (IsPlain(slot)) AddToPlan(plan, slot);
      }
      if (!plan.empty) plan.AddOwner(static_cast<int32_t>(id));
    }
  }

  // A frame's locals: its parameters that are not among its own variables, then its own.
  void BuildFrame(size_t f) {
    const std::vector<int32_t>& words = program_.words;
    const auto [entry, count] = entries_[f];
    FunctionFrame& frame = program_.frames[f];
    frame.body = &program_.code[static_cast<size_t>(entry + count + 1)];
    frame.parameterCount = count;
    frame.id = static_cast<uint16_t>(words[static_cast<size_t>(entry + count)] & 0xFFFF);
    const LocalsPlan* own = frame.id < program_.ownerLocals.size() ? &program_.ownerLocals[frame.id] : nullptr;
    for (int32_t k = 0; k < count; ++k) {
      const int slot = words[static_cast<size_t>(entry + k)] - 10000;  // a plain variable: the check saw to it
      frame.parameters.push_back(slot);
      frame.textParameters |= slot >= kFirstTextVar;
      if (program_.slotOwners[static_cast<size_t>(slot - kFirstIntVar)] == frame.id && own != nullptr) continue;
      AddToPlan(frame.locals, slot);
      frame.locals.AddOwner(OwnerBit(slot));
    }
    frame.numberParameters = frame.textParameters ? -1 : count;
    if (own != nullptr) {
      frame.locals.numbers.insert(frame.locals.numbers.end(), own->numbers.begin(), own->numbers.end());
      frame.locals.texts.insert(frame.locals.texts.end(), own->texts.begin(), own->texts.end());
      frame.locals.firstOwners |= own->firstOwners;
      frame.locals.moreOwners.insert(frame.locals.moreOwners.end(), own->moreOwners.begin(), own->moreOwners.end());
      frame.locals.empty = frame.locals.empty && own->empty;
    }
  }

  void SetBit(std::vector<uint64_t>& bits, int32_t bit) { bits[static_cast<size_t>(bit) >> 6] |= uint64_t{1} << (bit & 63); }

  // Per frame: the owners of every variable the commands its body can reach name (and of
  // its parameters, which its calls set), and the frames it calls. False when the code is
  // too tangled to follow within the budget.
  bool FindDirectReach() {
    const std::vector<int32_t>& words = program_.words;
    const int32_t end = program_.codeWords;
    const size_t bitWords = (ownerBits_ + 63) / 64;
    int64_t work = kWorkPerCodeWord * end + 4096;
    std::vector<int32_t> seen(static_cast<size_t>(end), -1);
    callees_.assign(entries_.size(), {});
    std::vector<int32_t> pending;
    for (size_t f = 0; f < entries_.size(); ++f) {
      FunctionFrame& frame = program_.frames[f];
      frame.reach.assign(bitWords, 0);
      for (int slot : frame.parameters) SetBit(frame.reach, OwnerBit(slot));
      auto mark = [&](int32_t word) {
        if (IsVariableWord(word)) SetBit(frame.reach, OwnerBit(word - 10000));
      };
      pending.assign(1, entries_[f].entry + entries_[f].count + 1);
      while (!pending.empty()) {
        const int32_t at = pending.back();
        pending.pop_back();
        if (at >= end || seen[static_cast<size_t>(at)] == static_cast<int32_t>(f)) continue;
        if (--work < 0) return false;
        seen[static_cast<size_t>(at)] = static_cast<int32_t>(f);
        const int32_t number = words[static_cast<size_t>(at)];
        if (HandlerForCommand(number) == nullptr) continue;  // the run ends there
        int32_t length;
        if (number == kCallFunction) {
          const int32_t entry = words[static_cast<size_t>(at + 1)] - 37000;
          const int32_t callee = frameOfEntry_.at(entry);
          callees_[f].push_back(callee);
          length = 4 + entries_[static_cast<size_t>(callee)].count;
          for (int32_t i = 2; i < length; ++i) mark(words[static_cast<size_t>(at + i)]);
        } else {
          const char* kinds = CommandOperandKinds(number);
          length = 1 + static_cast<int32_t>(std::strlen(kinds));
          for (int32_t i = 1; i < length; ++i) {
            const int32_t word = words[static_cast<size_t>(at + i)];
            if (kinds[i - 1] == 'c') pending.push_back(word - 37000);
            else mark(word);
          }
        }
        if (!CommandEndsPath(number)) pending.push_back(at + length);
      }
    }
    return true;
  }

  // A call can change whatever the functions it calls can, in turn: each frame's reach takes
  // in the reach of every frame its calls lead to. False past the budget (thousands of
  // functions calling each other in long chains).
  bool CloseReachOverCalls() {
    int64_t work = kWorkPerCodeWord * program_.codeWords + 65536;
    const size_t count = entries_.size();
    std::vector<std::vector<uint64_t>> direct(count);
    for (size_t f = 0; f < count; ++f) direct[f] = program_.frames[f].reach;
    std::vector<int32_t> visited(count, -1), stack;
    for (size_t f = 0; f < count; ++f) {
      std::vector<uint64_t>& reach = program_.frames[f].reach;
      stack.assign(1, static_cast<int32_t>(f));
      visited[f] = static_cast<int32_t>(f);
      while (!stack.empty()) {
        const size_t g = static_cast<size_t>(stack.back());
        stack.pop_back();
        work -= static_cast<int64_t>(reach.size() + callees_[g].size());
        if (work < 0) return false;
        for (size_t w = 0; w < reach.size(); ++w) reach[w] |= direct[g][w];
        for (int32_t h : callees_[g])
          if (visited[static_cast<size_t>(h)] != static_cast<int32_t>(f)) {
            visited[static_cast<size_t>(h)] = static_cast<int32_t>(f);
            stack.push_back(h);
          }
      }
    }
    return true;
  }

  struct Entry {
    int32_t entry, count;
  };
  LoadedProgram& program_;
  const std::vector<CallSite>& calls_;
  const std::vector<uint8_t>& roles_;
  uint32_t ownerBits_ = 0;
  std::vector<Entry> entries_;
  std::unordered_map<int32_t, int32_t> frameOfEntry_;
  std::vector<std::vector<int32_t>> callees_;
};

}  // namespace

void SetCallSavesForTests(bool on) { gFindCallSaves = on; }

void LocalsPlan::Finish() {
  slotCount = static_cast<int32_t>(numbers.size() + texts.size());
  std::sort(numbers.begin(), numbers.end());
  numberRuns.clear();
  for (int32_t slot : numbers) {
    if (!numberRuns.empty() && numberRuns.back().first + numberRuns.back().count == slot) numberRuns.back().count += 1;
    else numberRuns.push_back({slot, 1});
  }
  oneRun = numberRuns.size() == 1 && texts.empty();
  runFirst = oneRun ? numberRuns[0].first : 0;
}

void BuildFunctionFrames(LoadedProgram& program, const std::vector<CallSite>& calls, const std::vector<uint8_t>& roles) {
  FrameBuilder(program, calls, roles).Build();
}
