// The delivered templates: each carries every bookmark its document fills, the list rows up
// to the caps included.
#include <gtest/gtest.h>

#include <string>

#include "DocumentCatalog.h"
#include "WordExport.h"

using namespace documents;

namespace {

class DeliveredTemplates : public ::testing::TestWithParam<Family> {};

TEST_P(DeliveredTemplates, CarryEveryBookmarkTheirDocumentsFill) {
    for (const DocumentSet& set : documentSetsOf(GetParam())) {
        for (const DocumentTable& table : set) {
            try {
                WordDocument document = OpenTemplateDocument(VELMORA_DATA_DIR, table);
            } catch (const TemplateError& e) {
                ADD_FAILURE() << e.what();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, DeliveredTemplates, ::testing::Values(Family::rj, Family::yy),
                         [](const auto& info) {
                             return std::string(info.param == Family::rj ? "rj" : "yy");
                         });

}  // namespace
