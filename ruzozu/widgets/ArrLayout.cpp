#include "ArrLayout.h"

#include "sjis.h"

std::vector<TArrPoint> CascadePositions(int startX, int startY, int count, int w, int h, int clientW,
                                        int clientH) {
    std::vector<TArrPoint> out;
    int x = startX, y = startY;
    for (int k = 0; k < count; ++k) {
        if (clientH < y + 30 + h) y = 0;
        if (clientW < x + 15 + w) x = 0;
        out.push_back({x + 15, y + 30});
        x += 15;
        y += 30;
    }
    return out;
}

std::string ElementName(const std::string& arrayName, int k, const std::function<bool(const std::string&)>& taken) {
    for (int n = k;; ++n) {
        std::string name = arrayName + "_" + std::to_string(n);
        if (!taken(name)) return name;
    }
}

std::string RefusalMessage(const std::string& className) {
    return className + sjis::L(" オブジェクトは受け入れられません");
}
