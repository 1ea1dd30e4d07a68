// The arithmetic of control arrays, without widgets: where created
// elements go, what they are called, and the refusal text.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct TArrPoint {
    int X = 0, Y = 0;
    bool operator==(const TArrPoint& o) const { return X == o.X && Y == o.Y; }
};

// Places count new elements of size w x h in a cascade: from (startX,
// startY) each one 15 right and 30 down; a coordinate restarts at 0 when
// the element would leave the parent's client area.
std::vector<TArrPoint> CascadePositions(int startX, int startY, int count, int w, int h, int clientW,
                                        int clientH);

// The name of element number k (from 1): arrayName + "_" + n with the
// first n from k on that is not taken.
std::string ElementName(const std::string& arrayName, int k, const std::function<bool(const std::string&)>& taken);

// The message of a refused control class.
std::string RefusalMessage(const std::string& className);
