// What each FUNCTION call site must save of the function it is made from, found when a program
// is loaded: the function's locals that code after the call may read before it writes them.
#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

constexpr int64_t kWorkPerCodeWord = 64;  // past this much work per code word, calls save all

bool IsVariableWord(int32_t word) { return word >= 10000 + kFirstIntVar && word < 10000 + kFirstIntConst; }

bool IsFunctionReturn(int32_t number) {
  return number >= kReturnNothing && number <= kReturnTextAlias30 && number != kEnd;
}

// A set of slots of one function's plan, as bits over its place in the plan.
using Bits = std::vector<uint64_t>;
void Put(Bits& bits, int32_t i) { bits[static_cast<size_t>(i) >> 6] |= uint64_t{1} << (i & 63); }
bool Join(Bits& into, const Bits& from) {  // true when into grew
  bool grew = false;
  for (size_t w = 0; w < into.size(); ++w) {
    const uint64_t next = into[w] | from[w];
    grew |= next != into[w];
    into[w] = next;
  }
  return grew;
}

class CallSaveFinder {
 public:
  CallSaveFinder(const LoadedProgram& program, const std::vector<CallSite>& calls,
                 const std::vector<int32_t>& frameOfCall, const CalleeMayReach& mayReach)
      : program_(program), words_(program.words), calls_(calls), frameOfCall_(frameOfCall), mayReach_(mayReach),
        work_(kWorkPerCodeWord * program.codeWords + 65536) {}

  std::vector<CallSaves> Find() {
    std::vector<CallSaves> saves(calls_.size());
    const size_t frames = program_.frames.size();
    regions_.assign(frames, {});
    std::vector<bool> plain(frames, false);
    for (size_t f = 0; f < frames; ++f) plain[f] = FindRegion(program_.frames[f].body - program_.code.data(), &regions_[f]);
    std::vector<int32_t> mainRegion;
    FindRegion(0, &mainRegion);
    if (work_ < 0) return saves;
    // The marks of the regions' search are no longer needed: their room serves each of the
    // next steps in turn (a program of millions of code words takes no more).
    regionOwner_ = std::move(node_);
    MarkRegionOwners(mainRegion);
    FindNamers();
    callOwner_.clear();
    for (const CallSite& call : calls_) callOwner_.push_back(regionOwner_[static_cast<size_t>(call.at)]);
    node_ = std::move(regionOwner_);
    node_.assign(static_cast<size_t>(program_.codeWords), -1);
    place_.assign(kFirstIntConst - kFirstIntVar, -1);
    if (work_ < 0) return saves;
    for (size_t f = 0; f < frames; ++f)
      if (plain[f] && !FindLiveAfterCalls(static_cast<int32_t>(f), &saves)) return std::vector<CallSaves>(calls_.size());
    return saves;
  }

 private:
  bool IsCommand(int32_t at) const {
    return at >= 0 && at < program_.codeWords && program_.commandStarts[static_cast<size_t>(at)] != 0;
  }
  // The commands a function's body runs without entering calls (a call goes on after itself),
  // from its first command. False when the region holds a GOSUB or RETURN (the function then
  // saves as before), or when the work budget ran out.
  bool FindRegion(int64_t start, std::vector<int32_t>* region) {
    bool plain = true;
    std::vector<int32_t> pending(1, static_cast<int32_t>(start));
    seenStamp_ += 1;
    if (node_.size() != static_cast<size_t>(program_.codeWords)) node_.assign(static_cast<size_t>(program_.codeWords), 0);
    while (!pending.empty()) {
      const int32_t at = pending.back();
      pending.pop_back();
      if (at >= program_.codeWords || node_[static_cast<size_t>(at)] == seenStamp_) continue;
      if (--work_ < 0 || !IsCommand(at)) return false;
      node_[static_cast<size_t>(at)] = seenStamp_;
      const int32_t number = words_[static_cast<size_t>(at)];
      if (HandlerForCommand(number) == nullptr) continue;  // the run ends there
      region->push_back(at);
      if (number == kGosub || number == kReturn) plain = false;
      const int32_t length = LengthAt(at);
      if (number != kCallFunction) {
        const char* kinds = KindsOf(number);
        for (int32_t i = 0; kinds[i] != 0; ++i)
          if (kinds[i] == 'c') pending.push_back(words_[static_cast<size_t>(at + 1 + i)] - 37000);
      }
      if (!CommandEndsPath(number)) pending.push_back(at + length);
    }
    return plain;
  }
  // A command's length; a call's from its site.
  int32_t LengthAt(int32_t at) {
    const int32_t number = words_[static_cast<size_t>(at)];
    if (number != kCallFunction) return 1 + static_cast<int32_t>(std::strlen(KindsOf(number)));
    return 4 + program_.frames[static_cast<size_t>(CallFrameAt(at))].parameterCount;
  }
  // The operand kinds of a command number the check passed (kept: the searches ask often).
  const char* KindsOf(int32_t number) {
    const char*& kinds = kinds_[static_cast<size_t>(number)];
    if (kinds == nullptr) kinds = CommandOperandKinds(number);
    return kinds;
  }
  // The index of the call at a code position, and the frame it calls.
  size_t CallIndexAt(int32_t at) {
    if (callAt_.empty()) {
      for (size_t i = 0; i < calls_.size(); ++i) callAt_.push_back({calls_[i].at, static_cast<int32_t>(i)});
      std::sort(callAt_.begin(), callAt_.end());
    }
    return static_cast<size_t>(std::lower_bound(callAt_.begin(), callAt_.end(), std::pair<int32_t, int32_t>{at, -1})->second);
  }
  int32_t CallFrameAt(int32_t at) { return frameOfCall_[CallIndexAt(at)]; }

  // Per code word: the one function whose region holds it, kShared when more than one (or
  // the main program's) does, kNone when none.
  static constexpr int32_t kNone = -1, kShared = -2;
  void MarkRegionOwners(const std::vector<int32_t>& mainRegion) {
    regionOwner_.assign(static_cast<size_t>(program_.codeWords), kNone);
    for (int32_t at : mainRegion) regionOwner_[static_cast<size_t>(at)] = kShared;
    for (size_t f = 0; f < regions_.size(); ++f)
      for (int32_t at : regions_[f]) {
        int32_t& owner = regionOwner_[static_cast<size_t>(at)];
        owner = owner == kNone ? static_cast<int32_t>(f) : kShared;
      }
  }

  // Per variable slot: the one function whose region names it, kShared when code of more
  // than one function (or of the main program, or shared code) names it, kNone when none.
  void FindNamers() {
    namer_.assign(kFirstIntConst - kFirstIntVar, kNone);
    for (int32_t at = 0; at < program_.codeWords; ++at) {
      const int32_t owner = regionOwner_[static_cast<size_t>(at)];
      if (owner == kNone) continue;
      const int32_t length = LengthAt(at);
      for (int32_t i = 1; i < length; ++i) {
        const int32_t word = words_[static_cast<size_t>(at + i)];
        if (!IsVariableWord(word)) continue;
        int32_t& namer = namer_[static_cast<size_t>(word - 10000 - kFirstIntVar)];
        namer = namer == kNone || namer == owner ? owner : kShared;
      }
      work_ -= length;
    }
  }

  // Backward liveness of function f's plan over its region: at each command, the slots of the
  // plan that code from there may read before writing them. A call reads its arguments and,
  // where the function it calls may run f's code again, what f reads before writing from its
  // start; a return leads to whatever runs f next (that same set) and to any code elsewhere
  // that names f's slots. Fills the calls made in f's region only.
  bool FindLiveAfterCalls(int32_t f, std::vector<CallSaves>* saves) {
    const FunctionFrame& frame = program_.frames[static_cast<size_t>(f)];
    std::vector<int32_t> plan(frame.locals.numbers);
    plan.insert(plan.end(), frame.locals.texts.begin(), frame.locals.texts.end());
    const std::vector<int32_t>& region = regions_[static_cast<size_t>(f)];
    if (plan.empty() || region.empty()) return true;
    for (size_t i = 0; i < plan.size(); ++i) place_[static_cast<size_t>(plan[i] - kFirstIntVar)] = static_cast<int32_t>(i);
    const bool done = Solve(f, plan, region, saves);
    for (int32_t slot : plan) place_[static_cast<size_t>(slot - kFirstIntVar)] = -1;  // for the next function
    for (int32_t at : region) node_[static_cast<size_t>(at)] = -1;
    return done;
  }

  // The node of a code position in the region being solved; -1 outside it.
  int32_t NodeAt(int64_t at) const { return at >= 0 && at < program_.codeWords ? node_[static_cast<size_t>(at)] : -1; }
  // The bit of a word in the plan being solved; -1 when it names no slot of it.
  int32_t BitOf(int32_t word) const {
    return IsVariableWord(word) ? place_[static_cast<size_t>(word - 10000 - kFirstIntVar)] : -1;
  }

  bool Solve(int32_t f, const std::vector<int32_t>& plan, const std::vector<int32_t>& region, std::vector<CallSaves>* saves) {
    const FunctionFrame& frame = program_.frames[static_cast<size_t>(f)];
    const size_t words = (plan.size() + 63) / 64, n = region.size();
    for (size_t k = 0; k < n; ++k) node_[static_cast<size_t>(region[k])] = static_cast<int32_t>(k);
    Bits outside(words, 0), parameters(words, 0), first(words, 0);  // first: read before written from f's start
    for (size_t i = 0; i < plan.size(); ++i) {
      const int32_t namer = namer_[static_cast<size_t>(plan[i] - kFirstIntVar)];
      if (namer != f && namer != kNone) Put(outside, static_cast<int32_t>(i));  // named by code that may run outside f
    }
    for (int32_t slot : frame.parameters)
      if (BitOf(slot + 10000) >= 0) Put(parameters, BitOf(slot + 10000));

    // Per command, flat: what it reads (gen) and writes first (kill), what may be read from it
    // on (live), where it leads (succ) and what leads to it (pred); per call the plan's slots
    // the called code may read (by the called function, shared by its calls).
    std::vector<uint64_t> gen(n * words, 0), kill(n * words, 0), live(n * words, 0);
    std::vector<int32_t> succStart(n + 1, 0), succ, predCount(n + 1, 0), pred;
    std::vector<uint8_t> kind(n, 0);  // 1 return, 2 call
    std::vector<int32_t> reachOf(n, -1), maskOfCallee;
    std::vector<uint64_t> masks;
    for (size_t k = 0; k < n; ++k) {
      const int32_t at = region[k];
      const int32_t number = words_[static_cast<size_t>(at)];
      const int32_t length = LengthAt(at);
      uint64_t* g = &gen[k * words];
      uint64_t* x = &kill[k * words];
      succStart[k] = static_cast<int32_t>(succ.size());
      if (number == kCallFunction) {
        for (int32_t i = 4; i < length; ++i)
          if (const int32_t bit = BitOf(words_[static_cast<size_t>(at + i)]); bit >= 0) g[bit >> 6] |= uint64_t{1} << (bit & 63);
        kind[k] = 2;
        const int32_t callee = CallFrameAt(at);
        if (maskOfCallee.empty()) maskOfCallee.assign(program_.frames.size(), -1);
        if (maskOfCallee[static_cast<size_t>(callee)] < 0) {
          maskOfCallee[static_cast<size_t>(callee)] = static_cast<int32_t>(masks.size());
          masks.resize(masks.size() + words, 0);
          uint64_t* mask = &masks[masks.size() - words];
          for (size_t i = 0; i < plan.size(); ++i)
            if (mayReach_(program_.frames[static_cast<size_t>(callee)], plan[i])) mask[i >> 6] |= uint64_t{1} << (i & 63);
        }
        reachOf[k] = maskOfCallee[static_cast<size_t>(callee)];
      } else {
        const char* kinds = KindsOf(number);
        for (int32_t i = 0; i + 1 < length; ++i) {
          const int32_t word = words_[static_cast<size_t>(at + 1 + i)];
          if (kinds[i] == 'c') {
            if (NodeAt(word - 37000) >= 0) succ.push_back(NodeAt(word - 37000));
            continue;
          }
          const int32_t bit = BitOf(word);
          if (bit < 0) continue;
          uint64_t* set = i == 0 && CommandOnlyWritesOperand0(number) ? x : g;
          set[bit >> 6] |= uint64_t{1} << (bit & 63);
        }
        if (IsFunctionReturn(number)) kind[k] = 1;
      }
      for (size_t w = 0; w < words; ++w) x[w] &= ~g[w];  // a command that reads and writes a slot reads it first
      if (!CommandEndsPath(number) && NodeAt(at + length) >= 0) succ.push_back(NodeAt(at + length));
      work_ -= static_cast<int64_t>(words + 4);
    }
    succStart[n] = static_cast<int32_t>(succ.size());
    for (int32_t s : succ) predCount[static_cast<size_t>(s) + 1] += 1;
    for (size_t k = 0; k < n; ++k) predCount[k + 1] += predCount[k];
    pred.resize(succ.size());
    {
      std::vector<int32_t> fill(predCount.begin(), predCount.end() - 1);
      for (size_t k = 0; k < n; ++k)
        for (int32_t e = succStart[k]; e < succStart[k + 1]; ++e) {
          const size_t to = static_cast<size_t>(succ[static_cast<size_t>(e)]);
          pred[static_cast<size_t>(fill[to]++)] = static_cast<int32_t>(k);
        }
    }
    if (work_ < 0) return false;

    // A worklist until nothing grows; what f reads first grows with it, and with it what
    // returns and calls lead to.
    std::vector<int32_t> pending;
    std::vector<uint8_t> queued(n, 1);
    for (size_t k = 0; k < n; ++k) pending.push_back(static_cast<int32_t>(k));
    Bits in(words), atReturn(words);
    const int32_t bodyNode = NodeAt(frame.body - program_.code.data());
    while (true) {
      for (size_t w = 0; w < words; ++w) atReturn[w] = outside[w] | first[w];
      while (!pending.empty()) {
        const size_t k = static_cast<size_t>(pending.back());
        pending.pop_back();
        queued[k] = 0;
        std::fill(in.begin(), in.end(), 0);
        for (int32_t e = succStart[k]; e < succStart[k + 1]; ++e)
          for (size_t w = 0; w < words; ++w) in[w] |= live[static_cast<size_t>(succ[static_cast<size_t>(e)]) * words + w];
        if (kind[k] == 1) Join(in, atReturn);
        bool grew = false;
        for (size_t w = 0; w < words; ++w) {
          uint64_t value = (in[w] & ~kill[k * words + w]) | gen[k * words + w];
          if (kind[k] == 2) value |= first[w] & masks[static_cast<size_t>(reachOf[k]) + w];  // the called code may run f again
          grew |= (value & ~live[k * words + w]) != 0;
          live[k * words + w] |= value;
        }
        work_ -= static_cast<int64_t>(words * static_cast<size_t>(succStart[k + 1] - succStart[k] + 2));
        if (work_ < 0) return false;
        if (!grew) continue;
        for (int32_t e = predCount[k]; e < predCount[k + 1]; ++e)
          if (!queued[static_cast<size_t>(pred[static_cast<size_t>(e)])]) {
            queued[static_cast<size_t>(pred[static_cast<size_t>(e)])] = 1;
            pending.push_back(pred[static_cast<size_t>(e)]);
          }
      }
      Bits reads(words, 0);
      if (bodyNode >= 0) {
        const auto body = live.begin() + bodyNode * static_cast<int64_t>(words);
        std::copy(body, body + static_cast<int64_t>(words), reads.begin());
      }
      for (size_t w = 0; w < words; ++w) reads[w] &= ~parameters[w];  // the call sets them
      if (!Join(first, reads)) break;
      for (size_t k = 0; k < n; ++k)
        if (kind[k] != 0 && !queued[k]) {
          queued[k] = 1;
          pending.push_back(static_cast<int32_t>(k));
        }
    }

    // Each call made only in f's region saves what may be read after it.
    for (size_t k = 0; k < n; ++k) {
      const int32_t at = region[k];
      if (kind[k] != 2 || callOwner_[CallIndexAt(at)] != f) continue;
      CallSaves& site = (*saves)[CallIndexAt(at)];
      site.caller = f;
      const int32_t after = NodeAt(at + LengthAt(at));
      if (after < 0) continue;  // nothing runs after it in f
      for (size_t i = 0; i < plan.size(); ++i)
        if ((live[static_cast<size_t>(after) * words + (i >> 6)] >> (i & 63)) & 1) site.slots.push_back(plan[i]);
    }
    return true;
  }

  const LoadedProgram& program_;
  const std::vector<int32_t>& words_;
  const std::vector<CallSite>& calls_;
  const std::vector<int32_t>& frameOfCall_;
  const CalleeMayReach& mayReach_;
  int64_t work_;
  std::vector<std::vector<int32_t>> regions_;
  std::vector<int32_t> regionOwner_, namer_;
  std::vector<int32_t> callOwner_;  // per call: the one function whose region holds it, or kShared
  std::vector<std::pair<int32_t, int32_t>> callAt_;  // (code position, call index), sorted
  std::vector<const char*> kinds_ = std::vector<const char*>(kCommandTableSize, nullptr);
  // Per code word: while the regions are found, the search that passed it last (a stamp); then
  // its place in the region being solved, or -1.
  std::vector<int32_t> node_;
  std::vector<int32_t> place_;  // per variable slot from 3000: its bit in the plan being solved, or -1
  int32_t seenStamp_ = 0;
};

}  // namespace

std::vector<CallSaves> FindCallSaves(const LoadedProgram& program, const std::vector<CallSite>& calls,
                                     const std::vector<int32_t>& frameOfCall, const CalleeMayReach& mayReach) {
  return CallSaveFinder(program, calls, frameOfCall, mayReach).Find();
}
