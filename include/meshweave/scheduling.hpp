#pragma once

// Exchange program scheduling: plan_event_cycles and PlanProgramBuilder.
#include "meshweave/plans/plan.hpp"
#include "meshweave/scheduling/plan_event_cycles.hpp"
#include "meshweave/scheduling/plan_program_builder.hpp"
