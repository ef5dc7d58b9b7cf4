#pragma once

// Structured debug events emitted after successful tile-to-tile plans.
