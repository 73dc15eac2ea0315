#pragma once

// Registers Poppler as the drawer of PDF pages (TPdfPageRenderer): called once by programs
// that show pages.
void UsePopplerPages();
