#pragma once

namespace vexa::sim {

class SimClock;

// Where a simulated device's bus time goes: onto the virtual clock when there is one (tests),
// else onto the wall clock when asked (the program's simulation, so that it runs at the
// speed the real device allows), else nowhere (answers at once).
struct SimBusTime {
  SimClock* virtualClock = nullptr;
  bool wallClock = false;
  void pass(double seconds) const;
};

}  // namespace vexa::sim
