#pragma once

class MDIForm1;

// The menu commands that write the ticked contacts to a semicolon-separated file and read
// such a file into the selected address book.
namespace contactfiles {

void esporta(MDIForm1& main); // "Esporta Rubrica"
void importa(MDIForm1& main); // "Importa file csv"

} // namespace contactfiles
