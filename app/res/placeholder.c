/* Stands in for the compiled resource image until the script is built. */
typedef int morvalen_res_placeholder;
