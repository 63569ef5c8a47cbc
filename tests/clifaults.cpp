// The simulator's test build as a library velotune-cli can load (NEXILCONTROL_LIBRARY), with
// faults for a test that runs the real executable. NEXILSIM_TEST_FAULTS holds rules separated
// by ';', installed as the simulator's hooks when the library is loaded:
//   fail FUNCTION STATUS [after TRIGGER]   every call of FUNCTION fails with STATUS
//   value FUNCTION VALUE [after TRIGGER]   every successful FUNCTION reads VALUE
// With "after", a rule holds only once TRIGGER has been called.

#include "simcontrol.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Rule
{
    bool fail = false;
    std::string function;
    uint32_t number = 0;
    std::string trigger;
    std::shared_ptr<std::atomic<bool>> armed = std::make_shared<std::atomic<bool>>(false);

    bool holds(const std::string &called) const
    {
        return called == function && (trigger.empty() || armed->load());
    }
};

std::vector<Rule> parse(const std::string &text)
{
    std::vector<Rule> rules;
    std::stringstream all(text);
    std::string part;
    while (std::getline(all, part, ';')) {
        std::stringstream words(part);
        std::string kind, after;
        Rule rule;
        if (!(words >> kind >> rule.function >> rule.number))
            continue;
        rule.fail = kind == "fail";
        if (words >> after >> rule.trigger && after != "after")
            rule.trigger.clear();
        rules.push_back(rule);
    }
    return rules;
}

__attribute__((constructor)) void installFaults()
{
    const char *text = std::getenv("NEXILSIM_TEST_FAULTS");
    if (text == nullptr)
        return;
    const std::vector<Rule> rules = parse(text);
    nexilsim::setFaultHook([rules](const std::string &function) -> uint32_t {
        uint32_t status = 0;
        for (const Rule &rule : rules) {
            if (rule.fail && status == 0 && rule.holds(function))
                status = rule.number;
        }
        // A trigger counts from the call after it.
        for (const Rule &rule : rules) {
            if (rule.trigger == function)
                rule.armed->store(true);
        }
        return status;
    });
    nexilsim::setValueHook([rules](const std::string &function, uint32_t *value) {
        for (const Rule &rule : rules) {
            if (!rule.fail && rule.holds(function)) {
                *value = rule.number;
                return true;
            }
        }
        return false;
    });
}

} // namespace
