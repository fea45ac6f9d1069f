#include "matching/name_automaton.h"

namespace vld {
namespace {

int Category(std::uint8_t cls) {
  if (cls > 31) cls = 25;
  switch (cls) {
    case 10: case 25: case 27: case 28: case 29: return 0;
    case 0: case 26: case 30: case 31: return 2;
    case 23: return 4;
    case 24: return 5;
    default: break;
  }
  if (cls >= 1 && cls <= 9) return 1;
  if (cls >= 18 && cls <= 22) return 3;
  return 6;  // 11..17
}

struct Step {
  std::uint8_t next;
  std::uint8_t action;  // 0 none
};

// [state][category]
constexpr Step kTable[19][7] = {
    /* 0 */ {{0, 0}, {2, 0}, {6, 0}, {1, 0}, {11, 0}, {0, 0}, {0, 0}},
    /* 1 */ {{1, 0}, {2, 0}, {18, 0}, {1, 0}, {3, 0}, {0, 0}, {0, 0}},
    /* 2 */ {{2, 0}, {2, 0}, {18, 0}, {1, 3}, {3, 1}, {7, 2}, {0, 3}},
    /* 3 */ {{3, 0}, {4, 0}, {4, 0}, {1, 5}, {3, 0}, {0, 5}, {0, 5}},
    /* 4 */ {{4, 0}, {4, 0}, {4, 0}, {1, 2}, {11, 2}, {5, 2}, {0, 2}},
    /* 5 */ {{5, 0}, {1, 0}, {1, 0}, {1, 0}, {11, 0}, {5, 0}, {0, 0}},
    /* 6 */ {{6, 0}, {17, 0}, {6, 0}, {8, 2}, {3, 1}, {7, 2}, {0, 4}},
    /* 7 */ {{7, 0}, {9, 0}, {6, 0}, {8, 0}, {11, 0}, {7, 0}, {0, 0}},
    /* 8 */ {{8, 0}, {9, 0}, {18, 0}, {8, 0}, {10, 0}, {0, 0}, {0, 0}},
    /* 9 */ {{9, 0}, {9, 0}, {18, 0}, {1, 0}, {10, 0}, {0, 0}, {0, 0}},
    /* 10 */ {{10, 0}, {2, 0}, {6, 0}, {1, 0}, {10, 0}, {0, 0}, {0, 0}},
    /* 11 */ {{11, 0}, {16, 0}, {12, 0}, {1, 0}, {11, 0}, {0, 0}, {0, 0}},
    /* 12 */ {{12, 0}, {16, 0}, {12, 0}, {14, 2}, {11, 4}, {13, 2}, {0, 4}},
    /* 13 */ {{13, 0}, {15, 0}, {6, 0}, {14, 0}, {11, 0}, {13, 0}, {0, 0}},
    /* 14 */ {{14, 0}, {15, 0}, {18, 0}, {14, 0}, {3, 0}, {0, 0}, {0, 0}},
    /* 15 */ {{15, 0}, {15, 0}, {18, 0}, {1, 0}, {3, 1}, {0, 0}, {0, 0}},
    /* 16 */ {{16, 0}, {16, 0}, {12, 0}, {14, 2}, {11, 4}, {13, 2}, {0, 4}},
    /* 17 */ {{17, 0}, {17, 0}, {6, 0}, {8, 2}, {10, 4}, {7, 2}, {0, 4}},
    /* 18 */ {{18, 0}, {2, 0}, {18, 0}, {1, 0}, {3, 1}, {5, 3}, {0, 3}},
};

class Automaton {
 public:
  Automaton(std::span<KeyToken> tokens, int first, int last)
      : t_(tokens), first_(first), last_(last) {}

  void Run() {
    for (int k = first_; k <= last_; ++k) {
      if (t_[k].cls > 31) t_[k].cls = 25;
    }
    int state = 0;
    for (int i = first_; i <= last_ + 1; ++i) {
      const int category = i <= last_ ? Category(t_[i].cls) : 6;
      const Step step = kTable[state][category];
      switch (step.action) {
        case 1: Action1(i); break;
        case 2: Action2(i); break;
        case 3: Action35(i); break;
        case 5: Action35(i - 1); break;
        case 4: Action4(i); break;
        default: break;
      }
      state = step.next;
    }
  }

 private:
  int Cat(int k) const { return Category(t_[k].cls); }
  void Clear(int k) { t_[k].cls = 0; }
  void ClearRange(int from, int to) {
    for (int k = from; k <= to && k <= last_; ++k) Clear(k);
  }

  void Action1(int i) {
    for (int k = i - 1; k >= first_; --k) {
      const int c = Cat(k);
      if (c == 0 || c == 1) continue;
      if (c == 2) {
        t_[k].cls = 3;
        continue;
      }
      return;
    }
  }

  void Action2(int i) {
    for (int k = i - 1; k >= first_; --k) {
      const int c = Cat(k);
      if (c == 0 || c == 2) continue;
      if (c == 1) {
        Clear(k);
        continue;
      }
      return;
    }
  }

  void UpdateRun(int k, int& run, bool& f) const {
    if (run == 0) {
      run = 1;
    } else if (t_[k].joined) {
      ++run;
    } else {
      run = 1;
      f = false;
    }
  }

  void Action35(int p) {
    int run = 0;
    bool f = true;
    for (int k = p - 1; k >= first_; --k) {
      UpdateRun(k, run, f);
      const int c = Cat(k);
      if (c == 0) continue;
      if (c == 1) {
        if (f) Clear(k);
        continue;
      }
      if (c == 2) {
        if (!f) {
          f = true;
          if (run > 1) ClearRange(k + 1, k + run);
        }
        continue;
      }
      return;
    }
  }

  void Action4(int p) {
    int run = 0, saved = 0, n = 0, k = p, r = 0;
    bool f = false, g = false;
    for (;;) {
      r = run;
      k = k - 1;
      if (k < first_) break;
      if (!g) UpdateRun(k, run, f);
      const int c = Cat(k);
      if (c == 0) {
        if (!g) {
          saved = r;
          run = 1;
          f = false;
          g = true;
          n = k;
        }
      } else if (c == 1) {
        g = false;
        if (f) Clear(k);
      } else if (c == 2) {
        if (!f) {
          g = false;
          f = true;
          if (run > 1) ClearRange(k + 1, k + run);
        }
      } else {
        break;
      }
    }
    if (g) {
      r = saved;
      k = n;
    }
    if (r > 0) ClearRange(k + 1, k + r);
  }

  std::span<KeyToken> t_;
  int first_, last_;
};

bool InRange(std::uint8_t c, int lo, int hi) { return c >= lo && c <= hi; }

// A name follows token k: after tokens of classes 18..22, a first name (1..9); in the loose test
// also, after tokens of class 23, a token that is not excluded.
bool NameFollows(std::span<const KeyToken> t, int k, int e, bool loose) {
  int j = k + 1;
  while (j <= e && InRange(t[j].cls, 18, 22)) ++j;
  if (j > e) return false;
  if (InRange(t[j].cls, 1, 9)) return true;
  if (!loose) return false;
  while (j <= e && t[j].cls == 23) ++j;
  return j <= e && !IsExcludedClass(t[j].cls);
}

}  // namespace

bool IsExcludedClass(std::uint8_t cls) {
  return (cls >= 10 && cls <= 25) || (cls >= 27 && cls <= 30);
}

void RunNameAutomaton(std::span<KeyToken> tokens, int first, int last) {
  if (first > last) return;
  Automaton(tokens, first, last).Run();
}

int ContactRank(std::span<const KeyToken> t, int s, int e, int& start) {
  start = s;
  if (s > e || t[s].cls == 10) return 0;
  for (int j = s; j <= e - 1; ++j) {
    if (InRange(t[j].cls, 11, 17)) {
      start = j;
      for (int k = j + 1; k <= e; ++k) {
        if (!IsExcludedClass(t[k].cls)) return 1;
      }
      return 0;
    }
  }
  for (int j = s; j <= e; ++j) {
    if (InRange(t[j].cls, 27, 30)) return 0;
  }
  const std::uint8_t cs = t[s].cls;
  bool pastLast = false;
  if (InRange(cs, 18, 21)) {
    if (NameFollows(t, s, e, true)) return 2;
  } else if (cs == 23) {
    int j = s + 1;
    while (j <= e && t[j].cls == 23) ++j;
    if (j <= e && !IsExcludedClass(t[j].cls)) return 5;
  } else if (InRange(cs, 1, 8)) {
    return 4;
  } else if (!IsExcludedClass(cs)) {
    int j = s + 1;
    for (; j <= e; ++j) {
      const std::uint8_t c = t[j].cls;
      if (InRange(c, 18, 21)) {
        if (NameFollows(t, j, e, false)) return 2;
        break;
      }
      if (c == 24) return 5;
      if (InRange(c, 1, 8)) return 6;
      if (IsExcludedClass(c)) break;
    }
    pastLast = j > e;
  }
  if (cs == 9 && pastLast) {
    for (int j = s + 1; j <= e; ++j) {
      if (t[j].cls != 9) return 3;
    }
  }
  return 0;
}

}  // namespace vld
