#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "acquisition/demo/SimEncoding.h"
#include "acquisition/demo/VehicleModel.h"
#include "acquisition/params/Parameters.h"

using namespace quillmar;
using Phase = VehicleModel::Phase;

TEST(VehicleModel, DrivesThePlausibleCycle) {
    VehicleModel model(1);
    std::vector<Phase> phases{model.CurrentPhase()};
    std::set<int> gears;
    double coolant = model.Coolant();
    double topSpeed = 0;
    for (int i = 0; i < 2 * 1200; ++i) { // two cycles at 0.1 s
        model.Advance(0.1);
        if (model.CurrentPhase() != phases.back()) phases.push_back(model.CurrentPhase());
        gears.insert(model.Gear());
        topSpeed = std::max(topSpeed, model.Speed());
        EXPECT_GE(model.Coolant(), coolant);
        coolant = model.Coolant();
        // Engine speed follows the gearbox once the clutch is in.
        if (model.Gear() > 0 && model.Speed() > 25 && model.CurrentPhase() != Phase::Braking) {
            const double ratio = VehicleModel::SpeedPerEngineSpeed[size_t(model.Gear() - 1)];
            EXPECT_NEAR(model.EngineSpeed() * ratio, model.Speed(), model.Speed() * 0.05) << model.Time();
        }
        if (model.Gear() == 0) {
            EXPECT_LT(model.EngineSpeed(), 1300);
            EXPECT_GT(model.EngineSpeed(), 700);
        }
    }
    const std::vector<Phase> expected{Phase::Idle,    Phase::PullAway, Phase::Cruise,
                                      Phase::Braking, Phase::Stopped,  Phase::PullAway,
                                      Phase::Cruise,  Phase::Braking,  Phase::Stopped};
    EXPECT_EQ(std::vector<Phase>(phases.begin(), phases.begin() + std::min(phases.size(), expected.size())),
              expected);
    EXPECT_EQ(gears, (std::set<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_GT(topSpeed, 55);
    EXPECT_LT(topSpeed, 70);
    EXPECT_GT(coolant, 70);
}

TEST(VehicleModel, ValuesFitTheTableAndRepeatForASeed) {
    VehicleModel a(5), b(5), c(6);
    const TParameterArray& table = BuiltInParameters();
    bool differs = false;
    uint32_t faultsSeen = 0;
    for (int i = 0; i < 3000; ++i) {
        a.Advance(0.2);
        b.Advance(0.2);
        c.Advance(0.2);
        const auto values = a.Values();
        ASSERT_EQ(values, b.Values());
        differs = differs || values != c.Values();
        faultsSeen |= uint32_t(values.at("Faults"));
        // Nothing the model says is cut off by the reply's ranges.
        std::map<std::string, double> sent;
        EncodeReply(table, values, 63, &sent);
        for (const auto& [name, value] : values)
            ASSERT_EQ(sent.at(name), value) << name << " at " << a.Time();
    }
    EXPECT_TRUE(differs);
    EXPECT_NE(faultsSeen, 0u);
}
