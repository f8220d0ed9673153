#pragma once
// RunningMedian: the median of a row of values that changes little from one call to the next
// (the levels of a spectrum pass by pass), exactly as std::nth_element selects it (element n/2
// of the sorted row), but faster: only the values near the last median are ordered, the others
// are only counted.
//
// Plain class; nothing allocated.
namespace dita {

class RunningMedian {
public:
    // values[0..n); scratch holds at least n floats. A row holding values that are not
    // numbers is ordered whole, as nth_element orders it.
    float update(const float* values, int n, float* scratch);

private:
    float m_last = 0.0f;
    float m_window = 2.0f;
};

} // namespace dita
