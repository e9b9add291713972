#include "app/Nomes.h"

#include "app/Aplicacao.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace app {

void ordenaNomes(std::vector<std::string>& nomes) {
    QCollator c{QLocale()};
    c.setCaseSensitivity(Qt::CaseInsensitive);
    // Convert once: the comparison runs n log n times.
    std::vector<std::pair<QString, std::string>> pares;
    pares.reserve(nomes.size());
    for (auto& n : nomes)
        pares.emplace_back(deNome(n), std::move(n));
    std::stable_sort(pares.begin(), pares.end(), [&c](const auto& a, const auto& b) {
        return c.compare(a.first, b.first) < 0;
    });
    for (size_t i = 0; i < pares.size(); ++i)
        nomes[i] = std::move(pares[i].second);
}

} // namespace app
