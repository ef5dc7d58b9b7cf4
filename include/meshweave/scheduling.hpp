#pragma once

// Exchange program scheduling: plan_event_cycles and PlanProgramBuilder.
#include "meshweave/plans/plan.hpp"
