#pragma once

// Decoding instruction words into their fields and text, and reading that text back.
