// The toolkit's own texts (standard dialog buttons, file dialogs, the context
// menus of edit boxes) in the panel's language, from Qt's own catalogues.
#pragma once

// German installs Qt's German catalogue, anything else removes it. Without
// the catalogue on the machine the toolkit's texts simply stay English.
void UseToolkitLanguage(bool german);
