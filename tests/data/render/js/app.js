// The script file: compacted by the rules for .js files (line ends only), with CR LF line ends.
var spaced = "runs   of   spaces" +
    "   across   a   line   break";
var continued = "a string \
   continued   on   the   next   line";
var block = `a template   literal
    keeps   its   indentation
	and   its   tab`;
function show(id, text) {
    document.getElementById(id).textContent = text;
}
window.addEventListener('DOMContentLoaded', function () {
    show('spaced', spaced);
    show('continued', continued);
    show('block', block + '\n' + JSON.stringify(block));
});
