#pragma once

class MDIForm1;

// The menu commands around the hotel program's customers.
namespace hotelimport {

void importa(MDIForm1& main); // "Importa da Ericsoft"
void imposta(MDIForm1& main); // "Imposta Archivi Ericsoft"

} // namespace hotelimport
