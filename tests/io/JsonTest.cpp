// The one JSON writer: the layout every JSON file of the program has, strings escaped so
// that any text survives, numbers in the form asked for and null where not finite.
#include "io/Json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace marlinq::json {
namespace {

TEST(Json, DocumentLayoutEscapesAndNumbers) {
    const double inf = std::numeric_limits<double>::infinity();
    Value doc = Value::object();
    doc.add("shortest", Value::number(0.714))
        .add("seventeen", Value::number(0.714, Digits::Seventeen))
        .add("not_finite", Value::array({Value::number(std::nan("")), Value::number(-inf, Digits::Seventeen),
                                         Value::number(std::optional<double>())}))
        .add("cell", Value::array({Value::integer(3), Value::integer(-2147483648LL)}))
        .add("text", Value::string("a \"quoted\" \\ path\n\ttab \x01 ü"))
        .add("nested", Value::object({{"empty", Value::array()}, {"yes", Value::boolean(true)}, {"none", Value()}}));
    EXPECT_EQ(document(doc),
              "{\n"
              "  \"shortest\": 0.714,\n"
              "  \"seventeen\": 0.71399999999999997,\n"
              "  \"not_finite\": [null, null, null],\n"
              "  \"cell\": [3, -2147483648],\n"
              "  \"text\": \"a \\\"quoted\\\" \\\\ path\\u000a\\u0009tab \\u0001 ü\",\n"
              "  \"nested\": {\"empty\": [], \"yes\": true, \"none\": null}\n"
              "}\n");
    // The value keeps the number itself (Python gets NaN, not None), and its members in order.
    ASSERT_NE(doc.find("not_finite"), nullptr);
    EXPECT_TRUE(std::isnan(doc.find("not_finite")->items()[0].asNumber()));
    EXPECT_EQ(doc.members()[4].first, "text");
    EXPECT_EQ(doc.find("absent"), nullptr);
}

}  // namespace
}  // namespace marlinq::json
